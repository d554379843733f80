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
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
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
