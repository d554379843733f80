#pragma once

#include <QRect>

class QWidget;

namespace movan {

// Places a child by a rectangle measured from its parent's leading edge (the
// right edge in a right-to-left window), and keeps it there when the parent
// is resized or changes direction. A width of 0 or less stretches the child
// to that many pixels short of the trailing edge.
void placeLogically(QWidget *child, const QRect &logical);

} // namespace movan
