#pragma once

namespace movan {

// While a handler waits for a blocking call (see db/blocking_call.h), the
// user sees that the program is busy: the wait cursor over its windows, and
// their buttons greyed out, since a click would only wait for the call. The
// windows still paint and a close request is kept (CloseAfterBlockingCall).
// Everything is as it was once the call returns, the focus included.
void installBlockingCallFeedback();

// Whether the busy signs are up now.
bool blockingCallFeedbackShown();

} // namespace movan
