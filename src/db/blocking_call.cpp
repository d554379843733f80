#include "db/blocking_call.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <exception>
#include <thread>
#include <vector>

namespace movan {

namespace {

// Set on the worker of runWithoutFreezing, whose caller waits on the
// user-interface thread.
thread_local bool t_workerOfWaitingInterface = false;

// Only the user-interface thread waits, so only it touches these.
int s_waitingCalls = 0;
struct AfterCalls {
    QPointer<QObject> context;
    std::function<void()> f;
};
std::vector<AfterCalls> s_afterCalls;
std::function<void(bool)> s_feedback;

void post(const AfterCalls &entry)
{
    if (entry.context)
        QTimer::singleShot(0, entry.context.data(), entry.f);
}

// Counts the waiting call for as long as it waits, also when it throws.
class WaitingCall {
public:
    WaitingCall() { ++s_waitingCalls; }
    ~WaitingCall()
    {
        if (--s_waitingCalls > 0)
            return;
        std::vector<AfterCalls> due;
        due.swap(s_afterCalls);
        for (const AfterCalls &entry : due)
            post(entry);
    }
};

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
    const WaitingCall waiting;
    std::exception_ptr failure;
    QEventLoop loop;
    // Only the outermost wait shows itself; a call made inside it (a timer's
    // handler) waits under the same signs.
    bool feedbackShown = false;
    QTimer feedbackDelay;
    if (s_feedback && s_waitingCalls == 1) {
        feedbackDelay.setSingleShot(true);
        QObject::connect(&feedbackDelay, &QTimer::timeout, [&feedbackShown] {
            feedbackShown = true;
            s_feedback(true);
        });
        feedbackDelay.start(kBlockingCallFeedbackDelayMs);
    }
    std::thread worker([&] {
        t_workerOfWaitingInterface = true;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted after every event the work posted, so those run first.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    feedbackDelay.stop();
    if (feedbackShown && s_feedback)
        s_feedback(false);
    if (failure)
        std::rethrow_exception(failure);
}

void setBlockingCallFeedback(std::function<void(bool waiting)> feedback)
{
    s_feedback = std::move(feedback);
}

bool blockingCallRunning()
{
    return s_waitingCalls > 0;
}

void runAfterBlockingCalls(QObject *context, std::function<void()> f)
{
    AfterCalls entry{context, std::move(f)};
    if (s_waitingCalls > 0)
        s_afterCalls.push_back(std::move(entry));
    else
        post(entry);
}

void runOnUserInterfaceThread(const std::function<void()> &f)
{
    if (!t_workerOfWaitingInterface) {
        f();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), f, Qt::QueuedConnection);
}

} // namespace movan
