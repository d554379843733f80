#pragma once

#include <functional>

class QObject;

namespace movan {

// Runs a blocking call without freezing the window. Called on the
// user-interface thread, the work runs on a worker thread while this thread
// waits in a local event loop that leaves user input queued: painting,
// timers and posted events go on, clicks and keys wait until the call is
// over. It returns or throws exactly as the work did. On any other thread,
// or without a GUI application, the work runs inline.
void runWithoutFreezing(const std::function<void()> &work);

// Whether the user-interface thread waits for a call of runWithoutFreezing
// now (the handler that made it has not got its result yet).
bool blockingCallRunning();

// Runs f from the event loop once no call of runWithoutFreezing waits any
// more (at once, in the next pass of the loop, when none waits now), unless
// context is gone by then. A handler that made the call has returned when f
// runs.
void runAfterBlockingCalls(QObject *context, std::function<void()> f);

// What the user is shown while the user-interface thread waits: told true
// once the outermost call has waited kBlockingCallFeedbackDelayMs (a quick
// call shows nothing, so nothing flickers), and false as soon as that call
// has returned, before its caller goes on. The user interface installs it;
// there is none by default.
constexpr int kBlockingCallFeedbackDelayMs = 150;
void setBlockingCallFeedback(std::function<void(bool waiting)> feedback);

// Runs f where the caller of the blocking call waits: posted to the
// user-interface thread when called from the worker of runWithoutFreezing (it
// runs inside the waiting loop, in order), called at once otherwise.
void runOnUserInterfaceThread(const std::function<void()> &f);

} // namespace movan
