#include "widgets/close_guard/blocking_call_feedback.h"

#include "db/blocking_call.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>

#include <vector>

namespace movan {

namespace {

std::vector<QPointer<QAbstractButton>> s_greyed;
// Buttons that had their window's focus, to have it back.
std::vector<QPointer<QAbstractButton>> s_focused;
bool s_shown = false;

void greyOutButtons()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
            if (button->window() != window || !button->isVisible() || !button->isEnabled())
                continue;
            // A disabled widget hands the focus on to the next one, which
            // would run that control's enter handler; the focus waits instead.
            if (window->focusWidget() == button) {
                button->clearFocus();
                s_focused.emplace_back(button);
            }
            button->setEnabled(false);
            s_greyed.emplace_back(button);
        }
    }
}

void restoreButtons()
{
    for (const QPointer<QAbstractButton> &button : s_greyed) {
        if (button)
            button->setEnabled(true);
    }
    s_greyed.clear();
    for (const QPointer<QAbstractButton> &button : s_focused) {
        if (button && button->isEnabled() && !button->window()->focusWidget())
            button->setFocus(Qt::OtherFocusReason);
    }
    s_focused.clear();
}

void showWaiting(bool waiting)
{
    if (waiting == s_shown)
        return;
    s_shown = waiting;
    if (waiting) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        greyOutButtons();
    } else {
        restoreButtons();
        QApplication::restoreOverrideCursor();
    }
}

} // namespace

void installBlockingCallFeedback()
{
    setBlockingCallFeedback(showWaiting);
}

bool blockingCallFeedbackShown()
{
    return s_shown;
}

} // namespace movan
