// A stand-in main window for the guard's end-to-end tests: the program's
// real start-up around a window whose guard is set up from the environment,
// as a window's stored properties would set it.
//   PROBE_MULTIPLE=1          MultipleInstances
//   PROBE_HANDLER=keep|yield  OnOtherInstances assigned; prints "others=N",
//                             keeps this copy running or lets it give way
//   PROBE_TERMINATE_BY=N      TerminateBy (0..4)
//   PROBE_CLOSE_PREVIOUS=1    ClosePrevious
//   PROBE_WARNING=text        WarningText
//   PROBE_MODAL=1             once shown, opens a modal dialog "Probe dialog"
// Prints "shown" once its window is up, then "scale=<device pixel ratio>
// size=<width>x<height>". Answers the line "folder" on its standard input with
// "folder=<the executable's folder>".
#include "app/program.h"
#include "platform/executable_path.h"
#include "single_instance/mov_single_instance.h"
#include "ui/message_dialog.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

using namespace movan;

namespace {

QByteArray setting(const char *name)
{
    return qgetenv(name);
}

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class ProbeForm : public QWidget {
public:
    ProbeForm()
    {
        setWindowTitle(QStringLiteral("Guard probe"));
        resize(240, 120);
        guard = new TMovSingleInstance(this);
        guard->beginLoading();
        if (setting("PROBE_MULTIPLE") == "1")
            guard->setMultipleInstances(true);
        if (!setting("PROBE_WARNING").isEmpty())
            guard->setWarningText(QString::fromUtf8(setting("PROBE_WARNING")));
        if (setting("PROBE_CLOSE_PREVIOUS") == "1")
            guard->setClosePrevious(true);
        if (!setting("PROBE_TERMINATE_BY").isEmpty())
            guard->setTerminateBy(TMovTerminateMethod(setting("PROBE_TERMINATE_BY").toInt()));
        const QByteArray handler = setting("PROBE_HANDLER");
        if (!handler.isEmpty()) {
            guard->OnOtherInstances = [handler](QObject *, int others, bool &terminate) {
                say("others=" + QByteArray::number(others));
                terminate = handler == "yield";
            };
        }
        guard->endLoading();

        auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(input, &QSocketNotifier::activated, this, [input] {
            char line[64] = {};
            const ssize_t got = ::read(STDIN_FILENO, line, sizeof line - 1);
            if (got <= 0)
                input->setEnabled(false);
            else if (QByteArray(line).startsWith("folder"))
                say("folder=" + QFile::encodeName(executableDirectory()));
        });
    }

protected:
    void showEvent(QShowEvent *) override
    {
        if (m_shownOnce)
            return;
        m_shownOnce = true;
        say("shown");
        say("scale=" + QByteArray::number(devicePixelRatioF()) + " size=" + QByteArray::number(width()) + 'x'
            + QByteArray::number(height()));
        if (setting("PROBE_MODAL") == "1")
            QTimer::singleShot(0, this, [] {
                ShowMessageDialog(QStringLiteral("Probe dialog"), QStringLiteral("پيغام آزمايشي"), mbOK, mtInformation);
            });
    }

private:
    TMovSingleInstance *guard = nullptr;
    bool m_shownOnce = false;
};

} // namespace

int main(int argc, char **argv)
{
    return runProgram(argc, argv, [] { return new ProbeForm(); });
}
