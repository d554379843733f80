#pragma once

#include "util/notify_event.h"

#include <QChar>
#include <QColor>

#include <functional>

class QFocusEvent;
class QWidget;

namespace movan {

// A key-press handler: it sees the typed character and may change it, or set
// it to 0 to stop its processing.
using KeyPressEvent = std::function<void(QObject *sender, QChar &key)>;

// What the keyboard-aware controls have in common: the OnEnter, OnExit and
// OnKeyPress handlers, the yellow that follows the focus around the first
// two, and the Enter rule. A control derives from its Qt widget and from
// this, and calls these from its own focus and key handlers once the
// widget's own handling is done.
class KeyboardAwareControl {
public:
    NotifyEvent OnEnter;
    NotifyEvent OnExit;
    KeyPressEvent OnKeyPress;

    // The background: yellow from focus gained to focus lost, else the
    // window colour, or what was set until the control first loses the focus.
    QColor Color() const;
    void setColor(const QColor &color);

protected:
    explicit KeyboardAwareControl(QWidget *control)
        : m_control(control)
    {}
    ~KeyboardAwareControl() = default;

    // False when the focus only comes back from another window or a popup:
    // the control keeps its state through that. On true the control does
    // its own enter handling and then calls enterControl().
    bool focusEntersControl(const QFocusEvent *event);
    // OnEnter, then the focus colour, so that the handler still sees the
    // colour the control had.
    void enterControl();
    // OnExit, then the window colour, so that the handler still sees yellow;
    // another window or a popup taking the focus is no exit.
    void exitControl(const QFocusEvent *event);
    // The typed character as the OnKeyPress handler leaves it; a key that
    // types none (null) does not reach the handler.
    QChar keyAfterHandler(QChar typed);
    // Enter (carriage return) moves on to the next control once the key
    // event is over and is replaced by 0, so that the control does not
    // process it further. True when the key was Enter.
    bool applyEnterRule(QChar &key);

private:
    QWidget *m_control;
    bool m_entered = false;
};

} // namespace movan
