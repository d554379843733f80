#include "support/program_end.h"

namespace {

constexpr int kEndMs = 3000;

} // namespace

void killIfRunning(QProcess &program)
{
    if (program.state() == QProcess::NotRunning)
        return;
    program.kill();
    program.waitForFinished(kEndMs);
}
