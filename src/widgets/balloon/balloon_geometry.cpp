#include "widgets/balloon/balloon_geometry.h"

#include "widgets/common/round_half_even.h"

#include <algorithm>

namespace movan {

namespace BalloonGeometry {

namespace {

constexpr int kCornerEllipse = 7;
constexpr int kMargin = 10;
constexpr int kTitleLeft = 34;
constexpr int kTitleTop = 12;
constexpr int kTextGap = 8;
// With the arrow at the bottom the body ends this far above the window's
// bottom, overlapping the arrow's base by two rows; with the arrow on top
// it starts where the arrow's base lies.
constexpr int kBodyBottomInset = 18;
constexpr int kBodyTopInset = 22;

int midpoint(int from, int to)
{
    return from + roundHalfEven((to - from) / 2.0);
}

QRegion roundedRect(const EdgeRect &body)
{
    const QRect r = body.toQRect();
    if (r.width() < kCornerEllipse || r.height() < kCornerEllipse)
        return QRegion(r);
    const int radius = kCornerEllipse / 2;
    QRegion result(r.adjusted(radius, 0, -radius, 0));
    result += QRegion(r.adjusted(0, radius, 0, -radius));
    const QSize ellipse(kCornerEllipse, kCornerEllipse);
    result += QRegion(QRect(r.topLeft(), ellipse), QRegion::Ellipse);
    result += QRegion(QRect(QPoint(r.right() - kCornerEllipse + 1, r.top()), ellipse), QRegion::Ellipse);
    result += QRegion(QRect(QPoint(r.left(), r.bottom() - kCornerEllipse + 1), ellipse), QRegion::Ellipse);
    result += QRegion(QRect(QPoint(r.right() - kCornerEllipse + 1, r.bottom() - kCornerEllipse + 1), ellipse),
                      QRegion::Ellipse);
    return result;
}

} // namespace

QPoint anchor(const EdgeRect &control, TBalloonHoriz horizontal, TBalloonVert vertical)
{
    int x = control.left;
    if (horizontal == blnMiddle)
        x = midpoint(control.left, control.right);
    else if (horizontal == blnRight)
        x = control.right;
    int y = control.top;
    if (vertical == blnCenter)
        y = midpoint(control.top, control.bottom);
    else if (vertical == blnBottom)
        y = control.bottom;
    return QPoint(x, y);
}

TBalloonPosition corner(TBalloonHoriz horizontal, TBalloonVert vertical)
{
    static constexpr TBalloonPosition kCorners[3][3] = {
        // blnTop            blnCenter            blnBottom
        {blnArrowTopLeft, blnArrowBottomLeft, blnArrowBottomLeft}, // blnLeft
        {blnArrowTopLeft, blnArrowBottomRight, blnArrowBottomRight}, // blnMiddle
        {blnArrowTopRight, blnArrowTopRight, blnArrowBottomRight}, // blnRight
    };
    const int row = std::min<int>(horizontal, blnRight);
    const int column = std::min<int>(vertical, blnBottom);
    return kCorners[row][column];
}

bool arrowOnTop(TBalloonPosition corner)
{
    return corner == blnArrowBottomLeft || corner == blnArrowBottomRight;
}

Layout layout(bool arrowOnTop, int titleHeight)
{
    const int shift = arrowOnTop ? kArrowSize : 0;
    Layout result;
    result.icon = QPoint(kMargin, kMargin + shift);
    result.title = QPoint(kTitleLeft, kTitleTop + shift);
    result.text = QPoint(kMargin, result.title.y() + titleHeight + kTextGap);
    return result;
}

QSize windowSize(const QRect &title, const QRect &text, bool arrowOnTop)
{
    int height = text.top() + text.height() + kMargin;
    if (!arrowOnTop)
        height += kArrowSize;
    const int width = std::max(title.left() + title.width(), text.left() + text.width()) + kMargin;
    return QSize(width, height);
}

QPoint windowTopLeft(QPoint anchor, TBalloonPosition corner, QSize size)
{
    const int w = size.width();
    const int h = size.height();
    switch (corner) {
    case blnArrowTopLeft:
        return QPoint(anchor.x() - (w - kArrowSize), anchor.y() - h);
    case blnArrowTopRight:
        return QPoint(anchor.x() - kArrowSize, anchor.y() - h);
    case blnArrowBottomLeft:
        return QPoint(anchor.x() - (w - kArrowSize), anchor.y() - 2);
    case blnArrowBottomRight:
        return QPoint(anchor.x() - kArrowSize, anchor.y() - 2);
    }
    return anchor;
}

Shape shape(TBalloonPosition corner, QSize size)
{
    return shape(corner, size, arrowTip(corner, size).x());
}

Shape shape(TBalloonPosition corner, QSize size, int tipX)
{
    const int w = size.width();
    const int h = size.height();
    const int a = kArrowSize;
    switch (corner) {
    case blnArrowTopLeft:
        return {{0, 0, w, h - kBodyBottomInset},
                QPolygon({QPoint(tipX - a, h - a), QPoint(tipX, h), QPoint(tipX, h - a)})};
    case blnArrowTopRight:
        return {{0, 0, w, h - kBodyBottomInset},
                QPolygon({QPoint(tipX, h - a), QPoint(tipX, h), QPoint(tipX + a, h - a)})};
    case blnArrowBottomLeft:
        return {{0, kBodyTopInset, w, h}, QPolygon({QPoint(tipX, 2), QPoint(tipX, 22), QPoint(tipX - a, 22)})};
    case blnArrowBottomRight:
        return {{0, kBodyTopInset, w, h}, QPolygon({QPoint(tipX, 2), QPoint(tipX, 22), QPoint(tipX + a, 22)})};
    }
    return {};
}

namespace {

bool bodyLeftOfTip(TBalloonPosition corner)
{
    return corner == blnArrowTopLeft || corner == blnArrowBottomLeft;
}

bool bodyAboveAnchor(TBalloonPosition corner)
{
    return corner == blnArrowTopLeft || corner == blnArrowTopRight;
}

TBalloonPosition cornerFor(bool leftOfTip, bool above)
{
    if (above)
        return leftOfTip ? blnArrowTopLeft : blnArrowTopRight;
    return leftOfTip ? blnArrowBottomLeft : blnArrowBottomRight;
}

} // namespace

ScreenPlacement placeInside(QPoint anchor, TBalloonPosition corner, QSize size, const QRect &area)
{
    const QPoint preferred = windowTopLeft(anchor, corner, size);
    if (area.isEmpty())
        return {corner, preferred, arrowTip(corner, size).x()};
    const int w = size.width();
    const int h = size.height();
    const auto fitsAcross = [&](TBalloonPosition c) {
        const int left = windowTopLeft(anchor, c, size).x();
        return left >= area.left() && left + w - 1 <= area.right();
    };
    const auto fitsDown = [&](TBalloonPosition c) {
        const int top = windowTopLeft(anchor, c, size).y();
        return top >= area.top() && top + h - 1 <= area.bottom();
    };

    bool left = bodyLeftOfTip(corner);
    bool above = bodyAboveAnchor(corner);
    if (!fitsAcross(cornerFor(left, above)) && fitsAcross(cornerFor(!left, above)))
        left = !left;
    if (!fitsDown(cornerFor(left, above)) && fitsDown(cornerFor(left, !above)))
        above = !above;
    TBalloonPosition placed = cornerFor(left, above);
    QPoint topLeft = windowTopLeft(anchor, placed, size);
    int tipX = arrowTip(placed, size).x();
    if (fitsAcross(placed) && fitsDown(placed))
        return {placed, topLeft, tipX};

    topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - w)));
    topLeft.setY(std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() + 1 - h)));
    tipX = anchor.x() - topLeft.x();
    // The arrow leans into the body from the end it is nearer.
    left = tipX > w / 2;
    tipX = left ? std::clamp(tipX, kArrowSize, std::max(kArrowSize, w))
                : std::clamp(tipX, 0, std::max(0, w - kArrowSize));
    return {cornerFor(left, above), topLeft, tipX};
}

QPoint arrowTip(TBalloonPosition corner, QSize size)
{
    switch (corner) {
    case blnArrowTopLeft:
        return QPoint(size.width() - kArrowSize, size.height());
    case blnArrowTopRight:
        return QPoint(kArrowSize, size.height());
    case blnArrowBottomLeft:
        return QPoint(size.width() - kArrowSize, 2);
    case blnArrowBottomRight:
        return QPoint(kArrowSize, 2);
    }
    return QPoint();
}

QRegion region(const Shape &shape)
{
    return roundedRect(shape.body) + QRegion(shape.arrow, Qt::WindingFill);
}

QRegion outline(const QRegion &region)
{
    // A pixel lies on the outline when one of its four neighbours is outside.
    const QRegion interior = region & region.translated(1, 0) & region.translated(-1, 0) & region.translated(0, 1)
        & region.translated(0, -1);
    return region - interior;
}

} // namespace BalloonGeometry

} // namespace movan
