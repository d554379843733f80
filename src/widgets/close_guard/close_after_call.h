#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace movan {

// Keeps a window whose handler waits for a blocking call (see
// config/blocking_call.h) open until the call has returned: a close request
// in that time, by the close box, Alt+F4 or the window manager, is put off,
// and carried out once the handler is over. Owned by the window.
class CloseAfterBlockingCall : public QObject {
public:
    explicit CloseAfterBlockingCall(QWidget *window);

    // Whether a close waits for the running call: a handler that would go on
    // after its call (a dialog, a further step) asks this and stops instead.
    bool closeRequested() const { return m_closePending; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
    bool m_closePending = false;
};

} // namespace movan
