// On a scaled screen the gauge is drawn at the screen's own resolution: its
// shapes where they are at 1x, only finer, and its figures drawn with the
// finer pixels rather than a small picture blown up.
#include "widgets/gauge/gauge.h"
#include "widgets/gauge/gauge_renderer.h"

#include <QAccessibleValueInterface>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

using namespace movan;

namespace {

GaugeAppearance look(int percent, qreal ratio, bool showText)
{
    GaugeAppearance look;
    look.size = QSize(476, 10);
    look.foreColor = Qt::red;
    look.percentDone = percent;
    look.showText = showText;
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    look.font = font;
    look.devicePixelRatio = ratio;
    return look;
}

QRgb at(const QImage &image, int x, int y)
{
    return image.pixel(x, y) | 0xFF000000u;
}

// Whether every 2 x 2 block of device pixels holds one colour, as in a
// picture drawn at 1x and doubled.
bool madeOfDoubledPixels(const QImage &image)
{
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb c = at(image, x, y);
            if (at(image, x + 1, y) != c || at(image, x, y + 1) != c || at(image, x + 1, y + 1) != c)
                return false;
        }
    return true;
}

TEST(GaugeAtTwiceTheScale, ShapesMatchTheirPlaceAtOneAndFiguresAreFine)
{
    const QImage once = renderGauge(look(50, 1.0, false));
    const QImage twice = renderGauge(look(50, 2.0, false));
    ASSERT_EQ(twice.size(), QSize(952, 20));
    EXPECT_DOUBLE_EQ(twice.devicePixelRatio(), 2.0);
    // Without figures the bar is the 1x bar, each pixel now four.
    EXPECT_TRUE(madeOfDoubledPixels(twice));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 476; ++x)
            ASSERT_EQ(at(twice, 2 * x + 1, 2 * y + 1), at(once, x, y)) << x << "," << y;

    // With them, the letters use the finer pixels.
    const QImage withText = renderGauge(look(50, 2.0, true));
    EXPECT_FALSE(madeOfDoubledPixels(withText)) << "the percentage was drawn at 1x and doubled";
}

// A screen reader finds a progress bar named by its label, with the range and
// value of the gauge and the percentage it shows.
TEST(GaugeAccessibility, ExposesRangeValueAndPercentage)
{
    QWidget page;
    auto *label = new QLabel(QStringLiteral("وضعيت :"), &page);
    auto *gauge = new TGauge(&page);
    label->setBuddy(gauge);
    gauge->setMaxValue(400);
    gauge->setProgress(100);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(gauge);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::ProgressBar);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("وضعيت :"));
    ASSERT_NE(iface->valueInterface(), nullptr);
    EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), 100);
    EXPECT_EQ(iface->valueInterface()->minimumValue().toInt(), 0);
    EXPECT_EQ(iface->valueInterface()->maximumValue().toInt(), 400);
    EXPECT_EQ(iface->text(QAccessible::Value), QStringLiteral("25%"));
}

} // namespace
