#include "db/blocking_call.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

using namespace movan;

namespace {

using namespace std::chrono_literals;

TEST(RunWithoutFreezing, TimersRunWhileTheCallBlocks)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    runWithoutFreezing([] { std::this_thread::sleep_for(400ms); });
    EXPECT_GE(ticks, 10) << "the event loop went on during the call";
}

TEST(RunWithoutFreezing, UserInputWaitsUntilTheCallReturns)
{
    QPushButton button(QStringLiteral("x"));
    button.setGeometry(100, 100, 120, 40);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
    const QPoint centre = button.mapToGlobal(button.rect().center());
    bool clickedDuringCall = true;
    runWithoutFreezing([&] {
        // A real click through the X server while the call runs.
        const std::string command
            = "xdotool mousemove " + std::to_string(centre.x()) + " " + std::to_string(centre.y()) + " click 1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::this_thread::sleep_for(300ms);
        clickedDuringCall = clicks > 0;
    });
    EXPECT_FALSE(clickedDuringCall);
    QTest::qWait(300);
    EXPECT_EQ(clicks, 1) << "the click is kept and handled once the call is over";
}

TEST(RunWithoutFreezing, ExceptionsReachTheCaller)
{
    EXPECT_THROW(runWithoutFreezing([] { throw std::runtime_error("refused"); }), std::runtime_error);
}

TEST(RunWithoutFreezing, EventsPostedByTheWorkRunBeforeTheCallReturns)
{
    QList<int> seen;
    runWithoutFreezing([&] {
        for (int i = 1; i <= 10; ++i)
            runOnUserInterfaceThread([&seen, i] { seen.append(i); });
    });
    EXPECT_EQ(seen, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(RunWithoutFreezing, OffTheInterfaceThreadItRunsInline)
{
    std::thread::id ranOn;
    std::thread other([&] { runWithoutFreezing([&] { ranOn = std::this_thread::get_id(); }); });
    const auto otherId = other.get_id();
    other.join();
    EXPECT_EQ(ranOn, otherId);
}

} // namespace
