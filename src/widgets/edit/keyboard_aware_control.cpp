#include "widgets/edit/keyboard_aware_control.h"

#include "widgets/edit/control_colors.h"
#include "widgets/edit/keyboard_navigation.h"

#include <QFocusEvent>
#include <QWidget>

namespace movan {

QColor KeyboardAwareControl::Color() const
{
    return controlColor(m_control);
}

void KeyboardAwareControl::setColor(const QColor &color)
{
    setControlColor(m_control, color);
}

bool KeyboardAwareControl::focusEntersControl(const QFocusEvent *event)
{
    if (m_entered && isWindowOrPopupFocusChange(event->reason()))
        return false;
    m_entered = true;
    return true;
}

void KeyboardAwareControl::enterControl()
{
    if (OnEnter)
        OnEnter(m_control);
    setColor(focusedControlColor());
}

void KeyboardAwareControl::exitControl(const QFocusEvent *event)
{
    if (isWindowOrPopupFocusChange(event->reason()))
        return;
    m_entered = false;
    if (OnExit)
        OnExit(m_control);
    setColor(windowColor());
}

QChar KeyboardAwareControl::keyAfterHandler(QChar typed)
{
    QChar key = typed;
    if (OnKeyPress && !typed.isNull())
        OnKeyPress(m_control, key);
    return key;
}

bool KeyboardAwareControl::applyEnterRule(QChar &key)
{
    if (key != QLatin1Char('\r'))
        return false;
    key = QChar();
    postSelectNextControl(m_control);
    return true;
}

} // namespace movan
