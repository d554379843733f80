#include "ui/message_dialog.h"
#include "widgets/edit/mov_edit_box.h"

#include "support/modal_dialog_driver.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QRgb kYellow = qRgb(255, 255, 0);

QRgb colourOf(const TMovEditBox *edit)
{
    return edit->Color().rgb();
}

// A window like the setup window: edits spread over nested group boxes,
// with a button and a control that is not a tab stop in between.
class EditForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *layout = new QVBoxLayout(&window);
        auto *outer = new QGroupBox("outer", &window);
        auto *outerLayout = new QVBoxLayout(outer);
        first = new TMovEditBox(outer);
        auto *inner = new QGroupBox("inner", outer);
        auto *innerLayout = new QVBoxLayout(inner);
        second = new TMovEditBox(inner);
        notTabStop = new TMovEditBox(inner);
        notTabStop->setFocusPolicy(Qt::ClickFocus);
        disabled = new TMovEditBox(inner);
        disabled->setEnabled(false);
        password = new TMovEditBox(inner);
        password->setPasswordChar(QLatin1Char('*'));
        innerLayout->addWidget(second);
        innerLayout->addWidget(notTabStop);
        innerLayout->addWidget(disabled);
        innerLayout->addWidget(password);
        outerLayout->addWidget(first);
        outerLayout->addWidget(inner);
        last = new TMovEditBox(&window);
        layout->addWidget(outer);
        layout->addWidget(last);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        // The window gives its first control the focus; start from the last.
        focus(last);
    }

    void focus(QWidget *control)
    {
        control->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
    }

    void pressEnterIn(QWidget *control)
    {
        QTest::keyClick(control, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    QWidget window;
    TMovEditBox *first = nullptr;
    TMovEditBox *second = nullptr;
    TMovEditBox *notTabStop = nullptr;
    TMovEditBox *disabled = nullptr;
    TMovEditBox *password = nullptr;
    TMovEditBox *last = nullptr;
};

TEST_F(EditForm, StartsEmptyAndYellowOnlyWhileFocused)
{
    EXPECT_TRUE(first->text().isEmpty());
    const QRgb window = colourOf(first);
    focus(first);
    EXPECT_EQ(colourOf(first), kYellow);
    focus(second);
    EXPECT_EQ(colourOf(first), window);
    EXPECT_EQ(colourOf(second), kYellow);
}

TEST_F(EditForm, HandlersSeeTheColourBeforeItChanges)
{
    const QColor designColour(Qt::red);
    first->setColor(designColour);
    QRgb seenOnEnter = 0;
    QRgb seenOnExit = 0;
    first->OnEnter = [&](QObject *sender) { seenOnEnter = colourOf(static_cast<TMovEditBox *>(sender)); };
    first->OnExit = [&](QObject *sender) { seenOnExit = colourOf(static_cast<TMovEditBox *>(sender)); };
    focus(first);
    focus(last);
    EXPECT_EQ(seenOnEnter, designColour.rgb());
    EXPECT_EQ(seenOnExit, kYellow);
    // The design colour lasts only until the first exit.
    EXPECT_NE(colourOf(first), designColour.rgb());
}

TEST_F(EditForm, EnterMovesThroughNestedContainersSkippingWhatTakesNoTabFocusAndWraps)
{
    focus(first);
    QTest::keyClick(first, Qt::Key_Return);
    // The move is posted: it happens after the key event is over.
    EXPECT_EQ(QApplication::focusWidget(), first);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), second);
    pressEnterIn(second);
    EXPECT_EQ(QApplication::focusWidget(), password);
    pressEnterIn(password);
    EXPECT_EQ(QApplication::focusWidget(), last);
    pressEnterIn(last);
    EXPECT_EQ(QApplication::focusWidget(), first);
}

TEST_F(EditForm, EnterInThePasswordEditKeepsThePassword)
{
    focus(password);
    QTest::keyClicks(password, "s3cret");
    pressEnterIn(password);
    EXPECT_EQ(password->text(), QString("s3cret"));
    EXPECT_EQ(password->displayText(), QString("******"));
    EXPECT_EQ(QApplication::focusWidget(), last);
}

TEST_F(EditForm, KeyPressHandlerCanStopOrReplaceAKey)
{
    first->OnKeyPress = [](QObject *, QChar &key) {
        if (key == QLatin1Char('\r'))
            key = QChar();
        else if (key == QLatin1Char('a'))
            key = QLatin1Char('b');
    };
    focus(first);
    first->clear();
    pressEnterIn(first);
    EXPECT_EQ(QApplication::focusWidget(), first);
    QTest::keyClicks(first, "xa");
    EXPECT_EQ(first->text(), QString("xb"));
}

TEST_F(EditForm, EnterIsNotPassedOnToTheWindow)
{
    bool returnPressed = false;
    QObject::connect(first, &QLineEdit::returnPressed, [&] { returnPressed = true; });
    focus(first);
    pressEnterIn(first);
    EXPECT_FALSE(returnPressed);
}

TEST_F(EditForm, ReadOnlyEditStillTurnsYellow)
{
    first->setReadOnly(true);
    focus(first);
    EXPECT_EQ(colourOf(first), kYellow);
}

TEST_F(EditForm, AutoSelectSelectsAllExceptWhenTheMouseBringsTheFocus)
{
    first->setText("Tarnel");
    second->setText("sa");
    focus(first);
    EXPECT_EQ(first->selectedText(), QString("Tarnel"));
    // A program's setFocus counts as well.
    second->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(second->selectedText(), QString("sa"));
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(4, first->height() / 2));
    EXPECT_EQ(QApplication::focusWidget(), first);
    EXPECT_TRUE(first->selectedText().isEmpty());

    last->setAutoSelect(false);
    last->setText("abc");
    focus(last);
    EXPECT_TRUE(last->selectedText().isEmpty());
}

TEST_F(EditForm, ADialogOverTheWindowIsNoExit)
{
    int exits = 0;
    int enters = 0;
    first->OnEnter = [&](QObject *) { ++enters; };
    first->OnExit = [&](QObject *) { ++exits; };
    focus(first);
    ModalDialogDriver driver;
    driver.pressEnter();
    ShowMessageDialog(QString(), QStringLiteral("پيغام"), mbOK, mtInformation);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QCoreApplication::processEvents();
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 0);
    EXPECT_EQ(colourOf(first), kYellow);
}

TEST_F(EditForm, TabAndShiftTabMoveAsUsualAndTheColourFollows)
{
    focus(second);
    QTest::keyClick(second, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), password);
    QTest::keyClick(password, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), second);
    EXPECT_EQ(colourOf(second), kYellow);
    EXPECT_NE(colourOf(password), kYellow);
}

} // namespace
