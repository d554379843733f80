#pragma once

class QString;

namespace movan {

class TMovBusy;

// The busy indicator is decoration around an operation: a clip it cannot
// open, or a window it cannot hide, never decides the operation's outcome.
void showBusyIgnoringErrors(TMovBusy &busy);
// The indicator is shared by the window's operations and keeps its message
// between them: each operation shows it with its own, never with the one
// the last operation left.
void showBusyIgnoringErrors(TMovBusy &busy, const QString &message);
void hideBusyIgnoringErrors(TMovBusy &busy);

} // namespace movan
