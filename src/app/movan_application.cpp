#include "app/movan_application.h"

#include "platform/app_error.h"
#include "platform/executable_path.h"
#include "ui/application_shell.h"
#include "ui/failure_text.h"
#include "ui/fonts.h"
#include "ui/message_dialog.h"
#include "ui/qt_translations.h"
#include "widgets/close_guard/blocking_call_feedback.h"

namespace movan {

namespace {

const QString kUnknownError = QStringLiteral("Unknown error.");

} // namespace

MovanApplication::MovanApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    installFontSubstitutions();
    // The program is Persian whatever the locale: Qt's own texts (standard
    // buttons, the file dialogs) too, and right to left.
    installQtPersianTranslations();
    installBlockingCallFeedback();
    // The executable file itself names the program, as it names the folder
    // of its settings: started through a link or a launcher, it is the same
    // program and meets its other copies.
    QString executable = executableFilePath();
    if (executable.isEmpty())
        executable = argc > 0 && argv[0] ? QString::fromLocal8Bit(argv[0]) : applicationFilePath();
    const QString title = ApplicationShell::titleFromExecutableName(executable);
    ApplicationShell::setTitle(title);
    setApplicationName(title);
}

bool MovanApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        showException(error);
    } catch (...) {
        showUnknownException();
    }
    return false;
}

void MovanApplication::showException(const std::exception &error)
{
    const FailureNotice notice = describeFailure(error);
    showErrorBox(notice.message, notice.details);
}

void MovanApplication::showUnknownException()
{
    const FailureNotice notice = describeFailureText(kUnknownError);
    showErrorBox(notice.message, notice.details);
}

void MovanApplication::showErrorBox(const QString &message, const QString &details)
{
    ShowErrorReport(message, details);
}

} // namespace movan
