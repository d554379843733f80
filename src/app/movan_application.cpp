#include "app/movan_application.h"

#include "platform/app_error.h"
#include "platform/executable_path.h"
#include "ui/application_shell.h"
#include "ui/fonts.h"
#include "ui/message_dialog.h"

#include <QMessageBox>

namespace movan {

namespace {

const QString kUnknownError = QStringLiteral("Unknown error.");

} // namespace

MovanApplication::MovanApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    installFontSubstitutions();
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
    if (const auto *appError = dynamic_cast<const AppError *>(&error))
        showErrorBox(appError->message());
    else
        showErrorBox(QString::fromUtf8(error.what()));
}

void MovanApplication::showUnknownException()
{
    showErrorBox(kUnknownError);
}

void MovanApplication::showErrorBox(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, ApplicationShell::title(), displayLineBreaks(message), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.setTextFormat(Qt::PlainText);
    if (message.isRightToLeft())
        box.setLayoutDirection(Qt::RightToLeft);
    box.exec();
}

} // namespace movan
