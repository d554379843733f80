#pragma once

#include "util/notify_event.h"

#include <QColor>
#include <QLineEdit>

#include <functional>

namespace movan {

// A single-line edit for fast keyboard entry: yellow while it has the
// focus, and Enter moves on to the next control as Tab does.
class TMovEditBox : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE setAutoSelect)
    Q_PROPERTY(QChar PasswordChar READ PasswordChar WRITE setPasswordChar)
public:
    // The typed character; set it to 0 to stop its processing, or change it.
    using KeyPressEvent = std::function<void(QObject *sender, QChar &key)>;

    explicit TMovEditBox(QWidget *parent = nullptr);

    QColor Color() const;
    void setColor(const QColor &color);
    bool AutoSelect() const { return m_autoSelect; }
    void setAutoSelect(bool on) { m_autoSelect = on; }
    // Shown in place of each character; a null character shows the text.
    QChar PasswordChar() const { return m_passwordChar; }
    void setPasswordChar(QChar character);

    NotifyEvent OnEnter;
    NotifyEvent OnExit;
    KeyPressEvent OnKeyPress;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_autoSelect = true;
    QChar m_passwordChar;
    bool m_entered = false;
};

} // namespace movan
