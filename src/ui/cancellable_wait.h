#pragma once

#include <QString>

#include <atomic>
#include <functional>

namespace movan {

// How long a wait goes by with only the wait cursor before the user is told
// what is waited for and offered to give up.
constexpr int kCancellableWaitNoticeDelayMs = 400;

// Runs work on a worker thread while the window goes on painting, under the
// wait cursor; clicks and keys meanwhile wait. Past the delay a small modal
// dialog says waitingText and offers "انصراف": pressing it (or closing the
// dialog) sets the flag work is given, and work is expected to stop soon.
// Returns or throws as work did, once it has ended. Without a GUI
// application, work runs inline.
void runCancellableWait(const QString &waitingText, const std::function<void(const std::atomic<bool> &giveUp)> &work);

} // namespace movan
