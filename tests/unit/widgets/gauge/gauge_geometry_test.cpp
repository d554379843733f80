#include "widgets/gauge/gauge_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace movan;

using namespace GaugeGeometry;

TEST(GaugePercent, ValueToPercentTruncatesAndSurvivesLargeValues)
{
    EXPECT_EQ(ValueToPercent(5, 0), 0);
    EXPECT_EQ(ValueToPercent(5, 10), 50);
    EXPECT_EQ(ValueToPercent(1, 3), 33);
    EXPECT_EQ(ValueToPercent(2, 3), 66);
    EXPECT_EQ(ValueToPercent(99999, 100000), 99);
    // value * 100 does not fit in 32 bits here.
    EXPECT_EQ(ValueToPercent(2147483647, 2147483647), 100);
    EXPECT_EQ(ValueToPercent(1073741823, 2147483647), 49);
    EXPECT_EQ(ValueToPercent(-1, 3), -33);
}

TEST(GaugePercent, PercentOfLengthKeepsTheExtendedPrecisionResults)
{
    // Whole products that come out one short because 0.01 lies below a hundredth.
    EXPECT_EQ(PercentOfLength(5, 100), 4);
    EXPECT_EQ(PercentOfLength(20, 475), 94);
    // Others are simply truncated.
    EXPECT_EQ(PercentOfLength(50, 475), 237);
    // 100 * 0.01 rounds to exactly one, so the full length survives.
    EXPECT_EQ(PercentOfLength(100, 475), 475);
    EXPECT_EQ(PercentOfLength(0, 475), 0);
    EXPECT_EQ(PercentOfLength(50, 0), 0);
    EXPECT_EQ(PercentOfLength(-50, 475), -237);
}

// Where long double is the x87 extended type the results must agree with the
// hardware for every percentage and a wide span of lengths; elsewhere the
// spot checks above carry the test.
TEST(GaugePercent, PercentOfLengthMatchesExtendedHardwareWhereAvailable)
{
    if (std::numeric_limits<long double>::digits != 64)
        GTEST_SKIP() << "long double is not the 64-bit-mantissa type here";
    volatile long double hundredth = 0.01L;
    int mismatches = 0;
    for (int percent = -5; percent <= 105 && mismatches < 5; ++percent) {
        for (int length = 0; length <= 4000; ++length) {
            const long double share = percent * hundredth;
            const long double product = length * share;
            const int expected = int(std::trunc(product));
            if (PercentOfLength(percent, length) != expected) {
                ADD_FAILURE() << percent << "% of " << length << ": expected " << expected;
                ++mismatches;
            }
        }
    }
    for (int length : {65535, 1 << 20, 123456789, 2147483647}) {
        for (int percent : {1, 3, 7, 33, 99, 100}) {
            const long double product = length * (percent * hundredth);
            EXPECT_EQ(PercentOfLength(percent, length), (long long)std::trunc(product)) << percent << "% of " << length;
        }
    }
}

TEST(GaugeGeometryBar, HorizontalBarOfTheBackupPageGauge)
{
    const EdgeRect inner = innerRect(476, 10, true);
    EXPECT_EQ(inner, (EdgeRect{1, 1, 475, 9}));
    // Columns 1 to 236 at 50 %, 1 to 474 at 100 %, rows 1 to 8.
    EXPECT_EQ(horizontalBar(inner, 50), (EdgeRect{1, 1, 237, 9}));
    EXPECT_EQ(horizontalBar(inner, 100), (EdgeRect{1, 1, 475, 9}));
    EXPECT_FALSE(horizontalBar(inner, 0).has_value());
    // 1 % of 475 is 4.75: a bar of columns 1 to 3.
    EXPECT_EQ(horizontalBar(inner, 1), (EdgeRect{1, 1, 4, 9}));
}

TEST(GaugeGeometryBar, VerticalBarNeverReachesTheTopRowWithoutBorder)
{
    const EdgeRect bare = innerRect(20, 100, false);
    EXPECT_EQ(verticalBar(bare, 100), (EdgeRect{0, 1, 21, 101}));
    EXPECT_EQ(verticalBar(bare, 50), (EdgeRect{0, 101 - 50, 21, 101}));
    const EdgeRect framed = innerRect(20, 100, true);
    EXPECT_EQ(verticalBar(framed, 100), (EdgeRect{1, 1, 19, 99}));
    // An empty bar at 0 %.
    EXPECT_EQ(verticalBar(framed, 0).height(), 0);
}

TEST(GaugeGeometryPie, WedgeStartsAtTwelveAndGrowsClockwise)
{
    const EdgeRect box = pieBox(innerRect(100, 100, true), true);
    EXPECT_EQ(box, (EdgeRect{1, 1, 99, 99}));
    EXPECT_EQ(pieWedgeEnd(box), QPoint(49, 0));
    EXPECT_EQ(pieWedgeStart(box, 25), QPoint(98, 49)); // three o'clock
    EXPECT_EQ(pieWedgeStart(box, 50), QPoint(49, 98)); // six o'clock
    EXPECT_EQ(pieWedgeStart(box, 75), QPoint(0, 49)); // nine o'clock
    EXPECT_EQ(pieWedgeStart(box, 100), pieWedgeEnd(box));

    const QRectF ellipse(1, 1, 97, 97);
    const ArcAngles quarter = arcBetweenRadials(ellipse, pieWedgeStart(box, 25), pieWedgeEnd(box));
    EXPECT_NEAR(quarter.start, 0, 32); // radials through whole pixels, not the exact centre
    EXPECT_NEAR(quarter.span, 90 * 16, 32);
    const ArcAngles threeQuarters = arcBetweenRadials(ellipse, pieWedgeStart(box, 75), pieWedgeEnd(box));
    EXPECT_NEAR(threeQuarters.start, 180 * 16, 32);
    EXPECT_NEAR(threeQuarters.span, 270 * 16, 32);
    EXPECT_EQ(arcBetweenRadials(ellipse, pieWedgeStart(box, 100), pieWedgeEnd(box)).span, 360 * 16);
}

TEST(GaugeGeometryNeedle, PointsLeftUpAndRight)
{
    const EdgeRect inner = innerRect(101, 51, true);
    // Straight up at 50 %, to the frame's top row (the end point is not drawn).
    EXPECT_EQ(needle(101, inner, 50).from, QPoint(50, 49));
    EXPECT_EQ(needle(101, inner, 50).to, QPoint(50, 0));
    EXPECT_EQ(needle(101, inner, 100).to, QPoint(100, 49));
    EXPECT_EQ(needle(101, inner, 1).to, QPoint(0, 47)); // almost flat to the left
    const NeedleDial dial = needleDial(inner, true);
    EXPECT_EQ(dial.box, (EdgeRect{1, 1, 100, 99}));
    EXPECT_EQ(dial.baseLineFrom, QPoint(1, 50));
    EXPECT_EQ(dial.baseLineTo, QPoint(101, 50));
}

TEST(GaugeGeometryText, CentredWithoutTheFrameOffset)
{
    const EdgeRect inner = innerRect(476, 10, true);
    EXPECT_EQ(textOrigin(inner, 20, 14), QPoint((475 - 20) / 2, (9 - 14) / 2));
    EXPECT_EQ(textOrigin(inner, 20, 14).y(), -2); // truncated toward zero, not floored
}
