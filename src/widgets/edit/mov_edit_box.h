#pragma once

#include "widgets/edit/keyboard_aware_control.h"

#include <QColor>
#include <QLineEdit>

namespace movan {

// A single-line edit for fast keyboard entry: yellow while it has the
// focus, and Enter moves on to the next control as Tab does.
class TMovEditBox : public QLineEdit, public KeyboardAwareControl {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE setAutoSelect)
    Q_PROPERTY(QChar PasswordChar READ PasswordChar WRITE setPasswordChar)
public:
    explicit TMovEditBox(QWidget *parent = nullptr);

    bool AutoSelect() const { return m_autoSelect; }
    void setAutoSelect(bool on) { m_autoSelect = on; }
    // Shown in place of each character; a null character shows the text.
    QChar PasswordChar() const { return m_passwordChar; }
    void setPasswordChar(QChar character);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_autoSelect = true;
    QChar m_passwordChar;
};

} // namespace movan
