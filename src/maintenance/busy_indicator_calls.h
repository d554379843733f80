#pragma once

namespace movan {

class TMovBusy;

// The busy indicator is decoration around an operation: a clip it cannot
// open, or a window it cannot hide, never decides the operation's outcome.
void showBusyIgnoringErrors(TMovBusy &busy);
void hideBusyIgnoringErrors(TMovBusy &busy);

} // namespace movan
