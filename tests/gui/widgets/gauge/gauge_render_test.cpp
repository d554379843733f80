#include "widgets/gauge/gauge.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace movan;

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(255, 0, 0);

QRgb at(const QImage &image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

// The last column of the red bar, told apart from the black frame.
int barEnd(const QImage &image, int row)
{
    int x = 1;
    while (x < image.width() && at(image, x, row) == kRed)
        ++x;
    return x - 1;
}

QImage backupPageGauge(int percent, bool showText)
{
    TGauge gauge;
    gauge.resize(476, 10);
    gauge.setShowText(showText);
    gauge.setForeColor(QColor(kRed));
    gauge.setProgress(percent);
    return gauge.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(GaugeRenderBar, HorizontalBarCoversTheExactColumns)
{
    const QImage half = backupPageGauge(50, false);
    for (int row = 1; row <= 8; ++row)
        EXPECT_EQ(barEnd(half, row), 236) << "row " << row;
    EXPECT_EQ(at(half, 237, 4), kWhite);
    EXPECT_EQ(barEnd(backupPageGauge(100, false), 4), 474);
    EXPECT_EQ(barEnd(backupPageGauge(1, false), 4), 3);

    // At 0 % the bar is only background inside a black frame.
    const QImage empty = backupPageGauge(0, false);
    for (int x = 1; x <= 474; ++x)
        ASSERT_EQ(at(empty, x, 4), kWhite) << x;
    for (int x = 0; x < 476; ++x) {
        EXPECT_EQ(at(empty, x, 0), kBlack);
        EXPECT_EQ(at(empty, x, 9), kBlack);
    }
    EXPECT_EQ(at(empty, 0, 5), kBlack);
    EXPECT_EQ(at(empty, 475, 5), kBlack);
}

// Every pixel the text changes must be the inverse of the picture without
// text, so the figures read black on the empty part and white on the bar.
TEST(GaugeRenderBar, TextInvertsWhatLiesBelowIt)
{
    TGauge gauge;
    gauge.resize(200, 30);
    gauge.setProgress(50);
    const QImage withText = gauge.renderImage();
    gauge.setShowText(false);
    const QImage without = gauge.renderImage();

    int whiteOnBar = 0, blackOnEmpty = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 200; ++x) {
            const QRgb plain = at(without, x, y);
            const QRgb shown = at(withText, x, y);
            if (plain == shown)
                continue;
            ASSERT_EQ(shown, (~plain) | 0xFF000000u) << x << "," << y;
            ASSERT_TRUE(y >= 1 && y <= 28 && x >= 1 && x <= 198) << "text outside the frame";
            if (plain == kBlack)
                ++whiteOnBar;
            else
                ++blackOnEmpty;
        }
    }
    EXPECT_GT(whiteOnBar, 5);
    EXPECT_GT(blackOnEmpty, 5);
}

TEST(GaugeRenderBar, ColoursAreUsedAndTextInvertsThem)
{
    TGauge gauge;
    gauge.resize(100, 20);
    gauge.setForeColor(QColor(255, 0, 0));
    gauge.setBackColor(QColor(0, 0, 255));
    gauge.setProgress(100);
    const QImage image = gauge.renderImage();
    EXPECT_EQ(at(image, 2, 2), qRgb(255, 0, 0));
    bool sawInvertedRed = false;
    for (int x = 30; x < 70; ++x)
        for (int y = 2; y < 18; ++y)
            sawInvertedRed |= at(image, x, y) == qRgb(0, 255, 255);
    EXPECT_TRUE(sawInvertedRed);
}

TEST(GaugeRenderBar, VerticalBarWithoutBorderLeavesTheTopRow)
{
    TGauge gauge;
    gauge.resize(20, 50);
    gauge.setShowText(false);
    gauge.setBorderStyle(TGauge::bsNone);
    gauge.setKind(gkVerticalBar);
    gauge.setProgress(100);
    const QImage image = gauge.renderImage();
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(at(image, x, 0), kWhite);
        EXPECT_EQ(at(image, x, 1), kBlack);
        EXPECT_EQ(at(image, x, 49), kBlack);
    }
    gauge.setProgress(50);
    const QImage half = gauge.renderImage();
    // 50 % of 51 rows is 25, filled from row 51 - 25 = 26 down.
    EXPECT_EQ(at(half, 10, 25), kWhite);
    EXPECT_EQ(at(half, 10, 26), kBlack);
}

TEST(GaugeRenderRound, PieFillsTheUpperRightQuarterAt25)
{
    TGauge gauge;
    gauge.setShowText(false);
    gauge.setKind(gkPie);
    gauge.setColor(QColor(0, 128, 0));
    gauge.setProgress(25);
    const QImage image = gauge.renderImage();
    EXPECT_EQ(at(image, 75, 25), kBlack);
    EXPECT_EQ(at(image, 60, 10), kBlack);
    EXPECT_EQ(at(image, 25, 25), kWhite);
    EXPECT_EQ(at(image, 25, 75), kWhite);
    EXPECT_EQ(at(image, 75, 75), kWhite);
    EXPECT_EQ(at(image, 3, 3), qRgb(0, 128, 0)); // the corner outside the ellipse

    gauge.setProgress(0);
    const QImage empty = gauge.renderImage();
    EXPECT_EQ(at(empty, 75, 25), kWhite);
    EXPECT_EQ(at(empty, 50, 1), kBlack); // the outline

    gauge.setProgress(100);
    const QImage full = gauge.renderImage();
    for (QPoint p : {QPoint(25, 25), QPoint(75, 25), QPoint(25, 75), QPoint(75, 75)})
        EXPECT_EQ(at(full, p.x(), p.y()), kBlack);
}

TEST(GaugeRenderRound, NeedleStandsStraightUpAt50)
{
    TGauge gauge;
    gauge.resize(101, 51);
    gauge.setShowText(false);
    gauge.setKind(gkNeedle);
    gauge.setProgress(50);
    const QImage image = gauge.renderImage();
    for (int y = 5; y <= 48; ++y)
        EXPECT_EQ(at(image, 50, y), kBlack) << "row " << y;
    EXPECT_EQ(at(image, 40, 30), kWhite);
    EXPECT_EQ(at(image, 60, 30), kWhite);

    gauge.setProgress(0);
    const QImage empty = gauge.renderImage();
    EXPECT_EQ(at(empty, 50, 30), kWhite); // no needle, only the dial
    EXPECT_EQ(at(empty, 50, 1), kBlack); // top of the dial's outline
}

TEST(GaugeRenderText, TextKindShowsOnlyBackgroundAndFigures)
{
    TGauge gauge;
    gauge.resize(60, 20);
    gauge.setKind(gkText);
    gauge.setBackColor(QColor(255, 255, 0));
    gauge.setProgress(45);
    const QImage image = gauge.renderImage();
    int letters = 0;
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < 59; ++x) {
            const QRgb pixel = at(image, x, y);
            ASSERT_TRUE(pixel == qRgb(255, 255, 0) || pixel == qRgb(0, 0, 255)) << x << "," << y;
            letters += pixel == qRgb(0, 0, 255);
        }
    EXPECT_GT(letters, 10);
}

TEST(GaugeRenderText, TextWiderThanTheGaugeStopsAtTheFrame)
{
    TGauge gauge;
    gauge.resize(16, 30);
    gauge.setKind(gkText);
    gauge.setProgress(100);
    const QImage image = gauge.renderImage();
    for (int y = 0; y < 30; ++y) {
        EXPECT_EQ(at(image, 0, y), kBlack);
        EXPECT_EQ(at(image, 15, y), kBlack);
    }
    int letters = 0;
    for (int y = 1; y < 29; ++y)
        for (int x = 1; x < 15; ++x)
            letters += at(image, x, y) == kBlack;
    EXPECT_GT(letters, 0);
}
