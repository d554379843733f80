#pragma once

#include "widgets/common/edge_rect.h"

#include <QPoint>

#include <optional>

namespace movan {

// The whole percentage of value within range: 0 for an empty range, otherwise
// value * 100 / range truncated toward zero, without overflow for any pair of
// 32-bit values.
int ValueToPercent(int value, int range);

// The share of a length covered by a percentage, truncated toward zero, as
// length * (percent * 0.01) evaluated in 64-bit-mantissa extended precision,
// where 0.01 itself lies slightly below one hundredth, so some whole products
// come out one short (5 % of 100 gives 4): the bar lengths users of the
// sibling programs already see. Integer arithmetic gives that result exactly,
// whatever long double happens to be on the compiler at hand.
int PercentOfLength(int percent, int length);

namespace GaugeGeometry {

// The drawing area inside the optional one-pixel frame.
EdgeRect innerRect(int width, int height, bool singleBorder);

// The filled part of a horizontal bar; nothing while it is under one pixel.
std::optional<EdgeRect> horizontalBar(const EdgeRect &inner, int percent);
EdgeRect verticalBar(const EdgeRect &inner, int percent);

// The bounding box of the pie's ellipse.
EdgeRect pieBox(const EdgeRect &inner, bool singleBorder);
// The point on the radial where the pie's wedge starts; it ends on the
// radial through (pieBox.right / 2, 0), twelve o'clock.
QPoint pieWedgeStart(const EdgeRect &box, int percent);
QPoint pieWedgeEnd(const EdgeRect &box);

// The needle's half-dial: the bounding box of the full ellipse whose upper
// half is drawn, and the two radials that cut it.
struct NeedleDial {
    EdgeRect box;
    QPoint startRadial;
    QPoint endRadial;
    QPoint baseLineFrom;
    QPoint baseLineTo; // not itself drawn
};
NeedleDial needleDial(const EdgeRect &inner, bool singleBorder);

struct Line {
    QPoint from;
    QPoint to;
};
Line needle(int gaugeWidth, const EdgeRect &inner, int percent);

// Where the percentage text's top left corner goes for a text of the given
// size: centred on the area's size plus one pixel, but not offset by its
// origin, so that the text sits where users of the sibling programs see it.
QPoint textOrigin(const EdgeRect &inner, int textWidth, int textHeight);

// A pie's start and span for QPainter (sixteenths of a degree, counter-
// clockwise) that runs counter-clockwise from the radial through `from` to
// the radial through `to`, measured from the centre of `ellipse` (a QRect as
// QPainter draws it). Equal radials give the full ellipse.
struct ArcAngles {
    int start = 0;
    int span = 0;
};
ArcAngles arcBetweenRadials(const QRectF &ellipse, QPoint from, QPoint to);

} // namespace GaugeGeometry

} // namespace movan
