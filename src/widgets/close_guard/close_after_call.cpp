#include "widgets/close_guard/close_after_call.h"

#include "db/blocking_call.h"

#include <QCloseEvent>
#include <QWidget>

namespace movan {

CloseAfterBlockingCall::CloseAfterBlockingCall(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    window->installEventFilter(this);
}

bool CloseAfterBlockingCall::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Close || !blockingCallRunning())
        return false;
    event->ignore();
    if (!m_closePending) {
        m_closePending = true;
        runAfterBlockingCalls(this, [this] {
            m_closePending = false;
            if (m_window)
                m_window->close();
        });
    }
    return true;
}

} // namespace movan
