#pragma once

#include <QChar>

class QKeyEvent;
class QWidget;

namespace movan {

// The character a key press types, as a key-press handler sees it (Enter is
// carriage return, Escape 27, Backspace 8); null for keys that type none,
// such as the arrows.
QChar typedCharacter(const QKeyEvent *event);

// What the Enter key does in the keyboard-aware controls: once the current
// key event is over, the active window moves the focus to the next control
// of its tab order that can take it (through nested containers, wrapping
// from the last to the first). Posted, not run at once, like the dialog
// message it stands for. `origin` serves when no window is active.
void postSelectNextControl(QWidget *origin);

// The move itself, from the window's current focus widget; nothing happens
// when no other control qualifies.
void selectNextControl(QWidget *window);

// Focus changes that only follow a window or a popup being (de)activated:
// the control keeps its state through them.
bool isWindowOrPopupFocusChange(int focusReason);

} // namespace movan
