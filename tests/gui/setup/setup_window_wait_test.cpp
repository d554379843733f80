// While the confirm button waits for a server that takes the connection and
// says nothing, the user sees the program is busy; afterwards everything is
// as it was, and the settings saved before the call stay saved.
#include "db/blocking_call.h"
#include "setup_window_fixture.h"
#include "silent_server.h"
#include "widgets/close_guard/blocking_call_feedback.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace movan;

namespace movan::test {
namespace {

const QString kNo = QStringLiteral("خير");

using SetupWindowWait = SetupWindowTest;

TEST_F(SetupWindowWait, WaitCursorAndGreyButtonsWhileTheServerSaysNothing)
{
    SilentServer silent;
    ASSERT_TRUE(silent.isListening());
    auto form = showWindow();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->cbServer->setCurrentText(silent.dataSource());
    form->BitBtn1->setFocus(Qt::OtherFocusReason);

    struct Seen {
        bool sampled = false;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        bool anyButtonEnabled = true;
        bool timersRan = false;
        bool visible = false;
    } seen;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    silent.onConnection = [&] {
        ticker.start(10);
        // Well after the signs are due, while the server still says nothing.
        QTimer::singleShot(3 * kBlockingCallFeedbackDelayMs, &silent, [&] {
            seen.sampled = true;
            seen.cursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
            seen.anyButtonEnabled = false;
            for (QPushButton *button : {form->BitBtn1, form->BitBtn2, form->BitBtn3})
                seen.anyButtonEnabled |= button->isEnabled();
            seen.timersRan = ticks > 5;
            seen.visible = form->isVisible();
            silent.hangUp();
        });
    };
    driver.pressButton(kNo);
    QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
    ASSERT_TRUE(driver.waitUntilAnswered());

    ASSERT_TRUE(seen.sampled) << "the server never got the connection";
    EXPECT_EQ(seen.cursor, Qt::WaitCursor);
    EXPECT_FALSE(seen.anyButtonEnabled);
    EXPECT_TRUE(seen.timersRan) << "the window's event loop stood still";
    EXPECT_TRUE(seen.visible);

    // Over: the normal cursor, every button back, the focus where it was.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(blockingCallFeedbackShown());
    for (QPushButton *button : {form->BitBtn1, form->BitBtn2, form->BitBtn3})
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_EQ(form->focusWidget(), form->BitBtn1);
    // Saved before the call, and still saved after it failed.
    EXPECT_EQ(setting(QStringLiteral("Server")), silent.dataSource());
    EXPECT_TRUE(form->isVisible());
}

} // namespace
} // namespace movan::test
