#include "app/program.h"

#include "app/module_startup.h"
#include "app/movan_application.h"
#include "maintenance/restore_recovery.h"
#include "platform/executable_path.h"
#include "platform/instance_channel.h"
#include "single_instance/window_activation.h"
#include "ui/application_shell.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace movan {

namespace {

// Closing the main window ends the program, even while other windows of it
// are open; hiding it does not.
class MainFormCloseWatcher : public QObject {
public:
    explicit MainFormCloseWatcher(QWidget *form)
        : m_form(form)
    {
        form->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_form && event->type() == QEvent::Close) {
            QTimer::singleShot(0, this, [this] {
                if (m_form && !m_form->isVisible())
                    QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    QPointer<QWidget> m_form;
};

} // namespace

int runProgram(int argc, char **argv, const std::function<QWidget *()> &createMainForm)
{
    // The program reads no arguments, and Qt must not either (-style,
    // -reverse, -qwindowtitle would change the program): it sees only the
    // program's own path, which gives the title.
    int qtArgc = argc > 0 ? 1 : 0;
    // Before anything can replace the executable (an upgrade while it runs).
    executableDirectory();
    // The windows are laid out in 96-dpi logical pixels with fonts set in
    // pixels; Qt's scaling stays on, so a high-density screen shows them at
    // the same size as every other program.
    char *qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    MovanApplication app(qtArgc, qtArgv);
    startModules();
    ApplicationShell::setHaltHandler(finishModules);

    InstanceChannel applicationWindow(ApplicationShell::title());
    WindowActivation activation;
    QObject::connect(&applicationWindow, &InstanceChannel::activateRequested, &activation,
                     &WindowActivation::restoreOrRaise);
    QObject::connect(&applicationWindow, &InstanceChannel::quitRequested, &app, &QCoreApplication::quit);

    {
        std::unique_ptr<QWidget> mainForm(createMainForm());
        ApplicationShell::setMainForm(mainForm.get());
        MainFormCloseWatcher closeWatcher(mainForm.get());
        if (ApplicationShell::showMainForm())
            mainForm->show();
        // A restore killed midway may have left the user's database only in
        // its safety copy: that is said before anything else is done.
        QTimer::singleShot(0, mainForm.get(), [form = mainForm.get()] { resolveUnfinishedRestore(*form); });
        app.exec();
        ApplicationShell::setMainForm(nullptr);
    }
    finishModules();
    return 0;
}

} // namespace movan
