#include "maintenance/restore_messages.h"

#include "util/line_breaks.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace movan {

// The window owns its boxes: the active window may be the busy window,
// which deletes itself (and what it owns) once hidden.
void showRestoreMessage(QWidget &window, const QString &text, const QString &details)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), displayLineBreaks(text), QMessageBox::Ok,
                    &window);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

void showRestoreFailure(QWidget &window, const QString &why, const QString &details)
{
    showRestoreMessage(window, why.isEmpty() ? kRestoreFailed : kRestoreFailed + u'\n' + why, details);
}

} // namespace movan
