#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

// Runs a blocking call without freezing the window. Called on the
// user-interface thread, the work runs on a worker thread while this thread
// waits in a local event loop that leaves user input queued: painting,
// timers and posted events go on, clicks and keys wait until the call is
// over. It returns or throws exactly as the work did. On any other thread,
// or without a GUI application, the work runs inline.
void runWithoutFreezing(const std::function<void()> &work);

// Runs f where the caller of the blocking call waits: posted to the
// user-interface thread when called from the worker of runWithoutFreezing (it
// runs inside the waiting loop, in order), called at once otherwise.
void runOnUserInterfaceThread(const std::function<void()> &f);

// Whether the user-interface thread is waiting in runWithoutFreezing now.
bool blockingCallRunning();

// Keeps a window open while the program waits for a blocking call: a close
// asked for meanwhile (close box, Alt+F4, the window manager) is held back,
// so the window is never torn down under the running call, and carried out
// once the call has returned. A handler that would go on after its call (a
// dialog, a further step) asks closeRequested() first and stops instead.
class CloseAfterBlockingCalls : public QObject {
public:
    // window: a QWidget or anything else with a close() slot.
    explicit CloseAfterBlockingCalls(QObject *window);

    bool closeRequested() const { return m_closeRequested; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void closeOnceCallsEnd();

    QPointer<QObject> m_window;
    QTimer m_wait;
    bool m_closeRequested = false;
    bool m_closing = false;
};
