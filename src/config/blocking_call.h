#pragma once

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
