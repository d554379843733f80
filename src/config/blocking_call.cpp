#include "config/blocking_call.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <exception>
#include <thread>

namespace {

// Set on the worker of runWithoutFreezing, whose caller waits on the
// user-interface thread.
thread_local bool t_workerOfWaitingInterface = false;

// Calls the user-interface thread waits for, nested ones included.
int s_runningCalls = 0;

// How often a held-back close looks whether the calls have ended.
constexpr int kCloseRetryMs = 50;

bool onUserInterfaceThread()
{
    // Asked by class name: the database layer links no graphical module.
    return QCoreApplication::instance() && QCoreApplication::instance()->inherits("QGuiApplication")
        && QThread::currentThread() == QCoreApplication::instance()->thread();
}

} // namespace

void runWithoutFreezing(const std::function<void()> &work)
{
    if (!onUserInterfaceThread()) {
        work();
        return;
    }
    std::exception_ptr failure;
    QEventLoop loop;
    std::thread worker([&] {
        t_workerOfWaitingInterface = true;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted after every event the work posted, so those run first.
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    ++s_runningCalls;
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    --s_runningCalls;
    if (failure)
        std::rethrow_exception(failure);
}

void runOnUserInterfaceThread(const std::function<void()> &f)
{
    if (!t_workerOfWaitingInterface) {
        f();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), f, Qt::QueuedConnection);
}

bool blockingCallRunning()
{
    return s_runningCalls > 0;
}

CloseAfterBlockingCalls::CloseAfterBlockingCalls(QObject *window)
    : QObject(window), m_window(window)
{
    m_wait.setInterval(kCloseRetryMs);
    connect(&m_wait, &QTimer::timeout, this, &CloseAfterBlockingCalls::closeOnceCallsEnd);
    window->installEventFilter(this);
}

bool CloseAfterBlockingCalls::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Close || m_closing)
        return false;
    if (!blockingCallRunning() && !m_closeRequested)
        return false;
    event->ignore();
    m_closeRequested = true;
    m_wait.start();
    return true;
}

void CloseAfterBlockingCalls::closeOnceCallsEnd()
{
    if (blockingCallRunning() || !m_window)
        return;
    m_wait.stop();
    m_closing = true;
    QMetaObject::invokeMethod(m_window, "close");
    m_closing = false;
    m_closeRequested = false;
}
