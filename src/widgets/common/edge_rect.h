#pragma once

#include <QRect>

namespace movan {

// A rectangle in the window-system convention the drawing rules are written
// in: the right and bottom edges lie just outside the covered pixels. Keeping
// that convention in the geometry avoids the off-by-one traps of QRect's
// inclusive right() and bottom().
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    QRect toQRect() const { return QRect(left, top, right - left, bottom - top); }

    friend bool operator==(const EdgeRect &, const EdgeRect &) = default;
};

} // namespace movan
