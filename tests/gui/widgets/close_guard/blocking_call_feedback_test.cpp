// While a call blocks past its delay, every button the user could press is
// greyed, in whichever window it is; afterwards each is as it was before:
// a button the window had disabled on purpose stays disabled.
#include "db/blocking_call.h"
#include "widgets/close_guard/blocking_call_feedback.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace movan;

namespace {

struct Window {
    QWidget widget;
    QPushButton *open = new QPushButton(QStringLiteral("open"), &widget);
    QPushButton *closed = new QPushButton(QStringLiteral("closed"), &widget);

    Window()
    {
        auto *layout = new QVBoxLayout(&widget);
        layout->addWidget(open);
        layout->addWidget(closed);
        closed->setEnabled(false); // the window's own choice
    }
};

// Runs a call that blocks well past the delay; what the buttons were while
// it blocked.
struct DuringTheCall {
    bool openEnabled = true;
    bool closedEnabled = true;
};

DuringTheCall blockAndLook(const Window &window)
{
    DuringTheCall seen;
    QTimer look;
    look.setSingleShot(true);
    QObject::connect(&look, &QTimer::timeout, [&] {
        seen.openEnabled = window.open->isEnabled();
        seen.closedEnabled = window.closed->isEnabled();
    });
    look.start(3 * kBlockingCallFeedbackDelayMs);
    runWithoutFreezing(
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(5 * kBlockingCallFeedbackDelayMs)); });
    return seen;
}

class BlockingCallFeedback : public ::testing::Test {
protected:
    static void SetUpTestSuite() { installBlockingCallFeedback(); }
};

TEST_F(BlockingCallFeedback, ButtonsDisabledOnPurposeStaySo)
{
    Window window;
    window.widget.show();
    const DuringTheCall seen = blockAndLook(window);
    EXPECT_FALSE(seen.openEnabled);
    EXPECT_FALSE(seen.closedEnabled);
    EXPECT_TRUE(window.open->isEnabled());
    EXPECT_FALSE(window.closed->isEnabled());
    EXPECT_FALSE(blockingCallFeedbackShown());
}

// Hidden windows (a dialog not shown yet, a tooltip) may come first in the
// application's list of windows; the visible one is greyed all the same.
TEST_F(BlockingCallFeedback, AHiddenWindowFirstDoesNotHideTheVisibleOne)
{
    Window window;
    window.widget.show();
    // The list's order is the application's own: hidden dialogs are added
    // until one of them comes first.
    std::vector<std::unique_ptr<QDialog>> hidden;
    while (hidden.size() < 200 && QApplication::topLevelWidgets().front() == &window.widget) {
        hidden.push_back(std::make_unique<QDialog>());
        new QPushButton(QStringLiteral("hidden"), hidden.back().get());
    }
    ASSERT_NE(QApplication::topLevelWidgets().front(), &window.widget);
    const DuringTheCall seen = blockAndLook(window);
    EXPECT_FALSE(seen.openEnabled);
    EXPECT_TRUE(window.open->isEnabled());
}

} // namespace
