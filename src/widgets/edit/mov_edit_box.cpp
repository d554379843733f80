#include "widgets/edit/mov_edit_box.h"

#include "widgets/edit/keyboard_navigation.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QProxyStyle>

namespace movan {

namespace {

// Qt takes the masking character from the style, not from the edit; this
// style gives one edit a character of its own and leaves the rest as it is.
class PasswordCharStyle : public QProxyStyle {
public:
    explicit PasswordCharStyle(QChar character)
        : m_character(character)
    {}

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return m_character.unicode();
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    QChar m_character;
};

} // namespace

TMovEditBox::TMovEditBox(QWidget *parent)
    : QLineEdit(parent)
    , KeyboardAwareControl(this)
{
    setText(QString());
}

void TMovEditBox::setPasswordChar(QChar character)
{
    m_passwordChar = character;
    if (character.isNull()) {
        setEchoMode(QLineEdit::Normal);
        return;
    }
    QStyle *previous = style();
    auto *masking = new PasswordCharStyle(character);
    masking->setParent(this);
    setStyle(masking);
    if (dynamic_cast<PasswordCharStyle *>(previous))
        previous->deleteLater();
    setEchoMode(QLineEdit::Password);
}

void TMovEditBox::focusInEvent(QFocusEvent *event)
{
    const bool hadSelection = hasSelectedText();
    const int cursor = cursorPosition();
    QLineEdit::focusInEvent(event);
    if (!focusEntersControl(event))
        return;
    // Focus that arrives with the left button held is placing the cursor.
    const bool byMouse = event->reason() == Qt::MouseFocusReason || (QApplication::mouseButtons() & Qt::LeftButton);
    if (m_autoSelect && !byMouse)
        selectAll();
    else if (!m_autoSelect && !hadSelection && hasSelectedText())
        setCursorPosition(cursor);
    enterControl();
}

void TMovEditBox::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    exitControl(event);
}

void TMovEditBox::keyPressEvent(QKeyEvent *event)
{
    const QChar typed = typedCharacter(event);
    QChar key = keyAfterHandler(typed);
    applyEnterRule(key);
    if (key == typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (key.isNull()) {
        event->accept(); // taken by the handler or by the Enter rule
        return;
    }
    // The handler put another character in place of the typed one.
    QKeyEvent replaced(event->type(), 0, event->modifiers(), QString(key));
    QLineEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

} // namespace movan
