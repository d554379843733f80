#include "widgets/common/invalid_operation.h"
#include "widgets/gauge/gauge.h"

#include "support/paint_counter.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

using namespace movan;

namespace {

class ShownGauge : public ::testing::Test {
protected:
    void SetUp() override
    {
        gauge.resize(476, 10);
        gauge.show();
        QCoreApplication::processEvents();
        gauge.installEventFilter(&counter);
    }
    int paintsDuring(const std::function<void()> &change)
    {
        counter.paints = 0;
        change();
        return counter.paints;
    }

    TGauge gauge;
    PaintCounter counter;
};

} // namespace

TEST(GaugeRange, RejectsACrossedRangeWithTheBoundsItNames)
{
    TGauge gauge;
    gauge.setProgress(40);
    try {
        gauge.setMinValue(101);
        FAIL() << "no exception";
    } catch (const EInvalidOperation &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Value must be between -2147483647 and 99"));
    }
    gauge.setMinValue(10);
    try {
        gauge.setMaxValue(9);
        FAIL() << "no exception";
    } catch (const EInvalidOperation &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Value must be between 11 and 2147483647"));
    }
    EXPECT_EQ(gauge.MinValue(), 10);
    EXPECT_EQ(gauge.MaxValue(), 100);
    EXPECT_EQ(gauge.Progress(), 40);

    // A range of one value is allowed and shows 0 %.
    gauge.setMaxValue(10);
    EXPECT_EQ(gauge.Progress(), 10);
    EXPECT_EQ(gauge.PercentDone(), 0);
}

TEST(GaugeRange, LoadingAcceptsTheValuesInAnyOrder)
{
    TGauge gauge;
    gauge.beginLoading();
    gauge.setMinValue(500);
    gauge.setMaxValue(1000);
    gauge.setProgress(750);
    gauge.endLoading();
    EXPECT_EQ(gauge.MinValue(), 500);
    EXPECT_EQ(gauge.MaxValue(), 1000);
    EXPECT_EQ(gauge.Progress(), 750);
    EXPECT_EQ(gauge.PercentDone(), 50);
    EXPECT_THROW(gauge.setMinValue(1001), EInvalidOperation);
}

TEST(GaugeRange, ProgressStaysWithinTheRange)
{
    TGauge gauge;
    gauge.setProgress(-5);
    EXPECT_EQ(gauge.Progress(), 0);
    gauge.setProgress(1000);
    EXPECT_EQ(gauge.Progress(), 100);
    gauge.setMaxValue(60);
    EXPECT_EQ(gauge.Progress(), 60);
    gauge.setProgress(0);
    gauge.setMinValue(30);
    EXPECT_EQ(gauge.Progress(), 30);

    gauge.setMinValue(10);
    gauge.setMaxValue(20);
    gauge.setProgress(15);
    EXPECT_EQ(gauge.PercentDone(), 50);
}

TEST_F(ShownGauge, RepaintsOnlyWhenThePercentageChanges)
{
    gauge.setMaxValue(1000000);
    EXPECT_EQ(paintsDuring([&] {
                  for (int step = 1; step < 10000; ++step)
                      gauge.setProgress(step);
              }),
              0);
    EXPECT_EQ(paintsDuring([&] { gauge.setProgress(10000); }), 1); // 1 %
    EXPECT_EQ(paintsDuring([&] { gauge.setMaxValue(1000000); }), 0);
    EXPECT_EQ(paintsDuring([&] { gauge.setMinValue(0); }), 0);
}

TEST_F(ShownGauge, SettersRepaintOnlyForANewValue)
{
    EXPECT_EQ(paintsDuring([&] {
                  gauge.setKind(gkHorizontalBar);
                  gauge.setShowText(true);
                  gauge.setBorderStyle(TGauge::bsSingle);
                  gauge.setForeColor(Qt::black);
                  gauge.setBackColor(Qt::white);
              }),
              0);
    EXPECT_EQ(paintsDuring([&] { gauge.setKind(gkPie); }), 1);
    EXPECT_EQ(paintsDuring([&] { gauge.setShowText(false); }), 1);
    EXPECT_EQ(paintsDuring([&] { gauge.setBorderStyle(TGauge::bsNone); }), 1);
    EXPECT_EQ(paintsDuring([&] { gauge.setForeColor(Qt::red); }), 1);
    EXPECT_EQ(paintsDuring([&] { gauge.setBackColor(Qt::blue); }), 1);
}
