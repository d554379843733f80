#include "widgets/balloon/balloon_geometry.h"

#include <gtest/gtest.h>

using namespace movan;

using namespace BalloonGeometry;

namespace {

// A control of odd width and height, so both midpoints are exact halves.
const EdgeRect kControl{100, 200, 245, 347};

struct Placement {
    TBalloonHoriz horizontal;
    TBalloonVert vertical;
    QPoint anchor;
    TBalloonPosition corner;
};

// 145 / 2 rounds to 72 and 147 / 2 to 74: exact halves go to the even neighbour.
const Placement kPlacements[] = {
    {blnLeft, blnTop, {100, 200}, blnArrowTopLeft},          {blnLeft, blnCenter, {100, 274}, blnArrowBottomLeft},
    {blnLeft, blnBottom, {100, 347}, blnArrowBottomLeft},    {blnMiddle, blnTop, {172, 200}, blnArrowTopLeft},
    {blnMiddle, blnCenter, {172, 274}, blnArrowBottomRight}, {blnMiddle, blnBottom, {172, 347}, blnArrowBottomRight},
    {blnRight, blnTop, {245, 200}, blnArrowTopRight},        {blnRight, blnCenter, {245, 274}, blnArrowTopRight},
    {blnRight, blnBottom, {245, 347}, blnArrowBottomRight},
};

} // namespace

TEST(BalloonPlacement, AnchorCornerAndTipForEveryCombination)
{
    const QSize size(300, 90);
    for (const Placement &p : kPlacements) {
        SCOPED_TRACE(testing::Message() << "horizontal " << int(p.horizontal) << ", vertical " << int(p.vertical));
        EXPECT_EQ(anchor(kControl, p.horizontal, p.vertical), p.anchor);
        EXPECT_EQ(corner(p.horizontal, p.vertical), p.corner);
        // Whatever the corner, the arrow's tip lands on the anchor.
        const QPoint topLeft = windowTopLeft(p.anchor, p.corner, size);
        EXPECT_EQ(topLeft + arrowTip(p.corner, size), p.anchor);
        // The tip is a vertex of the arrow's triangle.
        EXPECT_TRUE(shape(p.corner, size).arrow.contains(arrowTip(p.corner, size)));
    }
    EXPECT_EQ(anchor({0, 0, 146, 148}, blnMiddle, blnCenter), QPoint(73, 74));
}

TEST(BalloonPlacement, BodySideOfEachCorner)
{
    const QSize size(300, 90);
    const QPoint at(500, 400);
    EXPECT_EQ(windowTopLeft(at, blnArrowTopLeft, size), QPoint(500 - 280, 400 - 90));
    EXPECT_EQ(windowTopLeft(at, blnArrowTopRight, size), QPoint(480, 310));
    EXPECT_EQ(windowTopLeft(at, blnArrowBottomLeft, size), QPoint(220, 398));
    EXPECT_EQ(windowTopLeft(at, blnArrowBottomRight, size), QPoint(480, 398));
    // Nothing pulls a balloon back onto the screen.
    EXPECT_EQ(windowTopLeft(QPoint(5, 5), blnArrowTopLeft, size), QPoint(-275, -85));
    EXPECT_FALSE(arrowOnTop(blnArrowTopLeft));
    EXPECT_FALSE(arrowOnTop(blnArrowTopRight));
    EXPECT_TRUE(arrowOnTop(blnArrowBottomLeft));
    EXPECT_TRUE(arrowOnTop(blnArrowBottomRight));
}

TEST(BalloonLayout, LabelsAndSize)
{
    const Layout below = layout(false, 14);
    EXPECT_EQ(below.icon, QPoint(10, 10));
    EXPECT_EQ(below.title, QPoint(34, 12));
    EXPECT_EQ(below.text, QPoint(10, 34));
    const Layout above = layout(true, 14);
    EXPECT_EQ(above.icon, QPoint(10, 30));
    EXPECT_EQ(above.title, QPoint(34, 32));
    EXPECT_EQ(above.text, QPoint(10, 54));

    // The title is the wider: W = 34 + 100 + 10.
    EXPECT_EQ(windowSize(QRect(34, 12, 100, 14), QRect(10, 34, 60, 42), false), QSize(144, 34 + 42 + 10 + 20));
    // The text is the wider; the arrow on top adds no height below.
    EXPECT_EQ(windowSize(QRect(34, 32, 100, 14), QRect(10, 54, 400, 42), true), QSize(420, 54 + 42 + 10));
}

TEST(BalloonShape, RectangleAndTriangleOfEachCorner)
{
    const int w = 300, h = 90;
    const QSize size(w, h);
    struct Expected {
        TBalloonPosition corner;
        EdgeRect body;
        QPolygon arrow;
    } table[] = {
        {blnArrowTopLeft, {0, 0, w, h - 18}, QPolygon({{w - 40, h - 20}, {w - 20, h}, {w - 20, h - 20}})},
        {blnArrowTopRight, {0, 0, w, h - 18}, QPolygon({{20, h - 20}, {20, h}, {40, h - 20}})},
        {blnArrowBottomLeft, {0, 22, w, h}, QPolygon({{w - 20, 2}, {w - 20, 22}, {w - 40, 22}})},
        {blnArrowBottomRight, {0, 22, w, h}, QPolygon({{20, 2}, {20, 22}, {40, 22}})},
    };
    for (const Expected &e : table) {
        const Shape s = shape(e.corner, size);
        EXPECT_EQ(s.body, e.body) << int(e.corner);
        EXPECT_EQ(s.arrow, e.arrow) << int(e.corner);
    }
}

TEST(BalloonShape, RegionIsTheRoundedBodyJoinedToTheArrow)
{
    const QSize size(300, 90);
    const QRegion below = region(shape(blnArrowTopRight, size));
    EXPECT_FALSE(below.contains(QPoint(0, 0))); // rounded corner
    EXPECT_TRUE(below.contains(QPoint(3, 0)));
    EXPECT_TRUE(below.contains(QPoint(0, 3)));
    EXPECT_TRUE(below.contains(QPoint(150, 40)));
    EXPECT_TRUE(below.contains(QPoint(150, 71))); // last row of the body
    EXPECT_FALSE(below.contains(QPoint(150, 72)));
    EXPECT_TRUE(below.contains(QPoint(22, 75))); // inside the arrow
    EXPECT_FALSE(below.contains(QPoint(38, 85))); // beside it
    EXPECT_FALSE(below.contains(QPoint(10, 80)));
    EXPECT_LE(below.boundingRect().bottom(), 89);

    const QRegion above = region(shape(blnArrowBottomLeft, size));
    EXPECT_FALSE(above.contains(QPoint(150, 21)));
    EXPECT_TRUE(above.contains(QPoint(150, 22)));
    EXPECT_TRUE(above.contains(QPoint(277, 10))); // inside the arrow, near its vertical side
    EXPECT_FALSE(above.contains(QPoint(290, 10)));
}

TEST(BalloonShape, OutlineIsTheRegionsRim)
{
    const QRegion square(QRect(0, 0, 10, 6));
    const QRegion rim = outline(square);
    EXPECT_TRUE(rim.contains(QPoint(0, 0)));
    EXPECT_TRUE(rim.contains(QPoint(9, 5)));
    EXPECT_TRUE(rim.contains(QPoint(4, 0)));
    EXPECT_FALSE(rim.contains(QPoint(4, 2)));
    int pixels = 0;
    for (const QRect &r : rim)
        pixels += r.width() * r.height();
    EXPECT_EQ(pixels, 2 * 10 + 2 * 4);

    // Where the arrow joins the body no line runs across the join.
    const QRegion balloon = region(shape(blnArrowBottomRight, QSize(300, 90)));
    const QRegion balloonRim = outline(balloon);
    EXPECT_FALSE(balloonRim.contains(QPoint(25, 22)));
    EXPECT_TRUE(balloonRim.contains(QPoint(100, 22)));
    EXPECT_TRUE(balloonRim.contains(QPoint(150, 89)));
}

namespace {

// The arrow's tip in screen coordinates.
QPoint tipOnScreen(const ScreenPlacement &placed, QSize size)
{
    const bool onTop = arrowOnTop(placed.corner);
    return placed.topLeft + QPoint(placed.tipX, onTop ? 2 : size.height());
}

bool inside(const ScreenPlacement &placed, QSize size, const QRect &area)
{
    return area.contains(QRect(placed.topLeft, size));
}

} // namespace

// Near every edge of the screen the balloon hangs on the side where it
// fits, and still points at the spot; where it fits as asked, nothing moves.
TEST(BalloonOnScreen, StaysInsideTheAreaAndKeepsPointing)
{
    const QRect area(0, 0, 640, 482); // a 1280 x 1024 screen at 2x, a panel below
    const QSize size(390, 92);
    const struct {
        QPoint anchor;
        TBalloonPosition asked;
        TBalloonPosition expected;
    } cases[] = {
        {{450, 240}, blnArrowBottomLeft, blnArrowBottomLeft}, // room as asked
        {{30, 20}, blnArrowBottomLeft, blnArrowBottomRight}, // top left corner
        {{30, 20}, blnArrowTopLeft, blnArrowBottomRight},
        {{610, 20}, blnArrowBottomRight, blnArrowBottomLeft}, // top right corner
        {{30, 470}, blnArrowBottomLeft, blnArrowTopRight}, // bottom left corner
        {{610, 470}, blnArrowBottomRight, blnArrowTopLeft}, // bottom right corner
        {{610, 470}, blnArrowTopLeft, blnArrowTopLeft},
    };
    for (const auto &c : cases) {
        const ScreenPlacement placed = placeInside(c.anchor, c.asked, size, area);
        EXPECT_EQ(placed.corner, c.expected) << c.anchor.x() << "," << c.anchor.y();
        EXPECT_TRUE(inside(placed, size, area)) << c.anchor.x() << "," << c.anchor.y();
        EXPECT_EQ(tipOnScreen(placed, size), c.anchor) << c.anchor.x() << "," << c.anchor.y();
        // Where a side fits, the balloon hangs there whole, as that corner places it.
        EXPECT_EQ(placed.topLeft, windowTopLeft(c.anchor, c.expected, size)) << c.anchor.x() << "," << c.anchor.y();
    }
    // No screen known: the corner's own place, even off the screen.
    EXPECT_EQ(placeInside({5, 5}, blnArrowTopLeft, size, QRect()).topLeft, QPoint(-365, -87));
}

// Too wide for either side of the spot: the body slides inside and the
// arrow moves along it, still on the spot, never past the rounded ends.
TEST(BalloonOnScreen, BodySlidesAndTheArrowFollowsTheSpot)
{
    const QRect area(0, 0, 500, 400);
    const QSize size(420, 90);
    for (int x : {150, 250, 350}) {
        const ScreenPlacement placed = placeInside({x, 100}, blnArrowBottomLeft, size, area);
        EXPECT_TRUE(inside(placed, size, area)) << x;
        EXPECT_EQ(tipOnScreen(placed, size), QPoint(x, 100)) << x;
        const QPolygon arrow = shape(placed.corner, size, placed.tipX).arrow;
        EXPECT_GE(arrow.boundingRect().left(), 0) << x;
        EXPECT_LE(arrow.boundingRect().right(), size.width()) << x;
        EXPECT_EQ(arrow.at(0), QPoint(placed.tipX, 2)) << x;
    }
    // The default tip gives the corner's own triangle.
    EXPECT_EQ(shape(blnArrowTopLeft, size, size.width() - 20).arrow, shape(blnArrowTopLeft, size).arrow);
    EXPECT_EQ(shape(blnArrowBottomRight, size, 20).arrow, shape(blnArrowBottomRight, size).arrow);
}
