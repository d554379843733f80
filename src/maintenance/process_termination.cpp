#include "maintenance/process_termination.h"

#include "platform/process_table.h"

#include <unistd.h>

namespace movan {

QString LowerCaseAscii(const QString &text)
{
    QString lowered = text;
    for (QChar &c : lowered) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return lowered;
}

void EnableDebugPrivilege() {}

std::uint32_t FindProcessByName(const QString &name)
{
    if (name.isEmpty())
        return 0;
    const QString wanted = LowerCaseAscii(name);
    const pid_t self = ::getpid();
    std::uint32_t found = 0;
    for (const ProcessEntry &entry : processSnapshot()) {
        if (entry.pid != self && LowerCaseAscii(entry.exeFile).contains(wanted))
            found = std::uint32_t(entry.pid);
    }
    return found;
}

void KillProcessByName(const QString &name)
{
    EnableDebugPrivilege();
    terminateProcess(pid_t(FindProcessByName(name)));
}

} // namespace movan
