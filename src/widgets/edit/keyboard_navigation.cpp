#include "widgets/edit/keyboard_navigation.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace movan {

namespace {

bool takesTabFocus(const QWidget *candidate, const QWidget *window)
{
    return candidate->window() == window && candidate->isEnabled() && candidate->isVisible()
        && (candidate->focusPolicy() & Qt::TabFocus) && !candidate->focusProxy();
}

} // namespace

void selectNextControl(QWidget *window)
{
    if (!window)
        return;
    QWidget *current = window->focusWidget();
    QWidget *start = current ? current : window;
    for (QWidget *candidate = start->nextInFocusChain(); candidate && candidate != start;
         candidate = candidate->nextInFocusChain()) {
        if (takesTabFocus(candidate, window)) {
            candidate->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void postSelectNextControl(QWidget *origin)
{
    // A window that has just closed can still be reported active for a
    // moment; then the key's own window stands in.
    QWidget *active = QApplication::activeWindow();
    if (!active || !active->isVisible())
        active = origin ? origin->window() : nullptr;
    QPointer<QWidget> window = active;
    if (!window)
        return;
    QTimer::singleShot(0, window, [window] { selectNextControl(window); });
}

bool isWindowOrPopupFocusChange(int focusReason)
{
    return focusReason == Qt::ActiveWindowFocusReason || focusReason == Qt::PopupFocusReason;
}

QChar typedCharacter(const QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return QLatin1Char('\r');
    const QString text = event->text();
    return text.size() == 1 ? text.at(0) : QChar();
}

} // namespace movan
