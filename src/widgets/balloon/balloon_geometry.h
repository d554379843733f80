#pragma once

#include "widgets/balloon/balloon_types.h"
#include "widgets/common/edge_rect.h"

#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QRegion>
#include <QSize>

namespace movan {

// Where a balloon goes and what shape it has, apart from any window.
namespace BalloonGeometry {

constexpr int kArrowSize = 20;

// The point of the control's screen rectangle the arrow's tip touches.
QPoint anchor(const EdgeRect &control, TBalloonHoriz horizontal, TBalloonVert vertical);
// Which side of the anchor the body goes to.
TBalloonPosition corner(TBalloonHoriz horizontal, TBalloonVert vertical);
// The arrow sits on the body's top edge when the body hangs below the anchor.
bool arrowOnTop(TBalloonPosition corner);

struct Layout {
    QPoint icon;
    QPoint title;
    QPoint text;
};
// Label and icon positions for a title of the given height.
Layout layout(bool arrowOnTop, int titleHeight);

// The window's size for labels of the given geometry.
QSize windowSize(const QRect &title, const QRect &text, bool arrowOnTop);
// The window's top left corner on screen, so that the arrow's tip is on the anchor.
QPoint windowTopLeft(QPoint anchor, TBalloonPosition corner, QSize size);

// Where a balloon of this size goes so that it stays inside the area (the
// screen's available part): where the corner puts it when it fits there;
// else on the other side of the anchor, across or up and down, where that
// fits; else slid inside the area, the arrow moving along the body to keep
// its tip on the anchor. An empty area keeps the corner's place.
struct ScreenPlacement {
    TBalloonPosition corner;
    QPoint topLeft;
    int tipX; // the arrow tip's x in window coordinates
};
ScreenPlacement placeInside(QPoint anchor, TBalloonPosition corner, QSize size, const QRect &area);

struct Shape {
    EdgeRect body; // a rectangle with corners rounded by 7 x 7 ellipses
    QPolygon arrow; // three points, the tip first for an arrow at the bottom
};
Shape shape(TBalloonPosition corner, QSize size);
// The same with the arrow's tip at window x tipX.
Shape shape(TBalloonPosition corner, QSize size, int tipX);
// The window-relative point of the arrow's tip.
QPoint arrowTip(TBalloonPosition corner, QSize size);

// The region covered by the shape, and its one-pixel outline inside it.
QRegion region(const Shape &shape);
QRegion outline(const QRegion &region);

} // namespace BalloonGeometry

} // namespace movan
