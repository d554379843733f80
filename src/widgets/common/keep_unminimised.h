#pragma once

class QEvent;
class QWidget;

namespace movan {

// A window with no task-bar entry that the window manager minimises anyway
// would be hidden for good: bring it straight back. True when it did, so the
// caller can put the window back on top as it needs.
bool restoreIfMinimised(QWidget *window, const QEvent *event);

} // namespace movan
