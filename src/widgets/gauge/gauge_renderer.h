#pragma once

#include "widgets/gauge/gauge_kind.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QSize>

namespace movan {

// Everything the gauge's picture depends on.
struct GaugeAppearance {
    QSize size;
    TGaugeKind kind = gkHorizontalBar;
    bool showText = true;
    bool singleBorder = true;
    QColor foreColor = Qt::black;
    QColor backColor = Qt::white;
    QColor color = Qt::white; // around the pie and the dial
    QFont font;
    int percentDone = 0;
    // Device pixels per logical pixel of the screen the gauge is on: the
    // picture is drawn at that resolution, so its text stays sharp on a
    // scaled screen instead of being a small picture blown up.
    qreal devicePixelRatio = 1.0;
};

// Draws the whole gauge off screen: the look on an overlay combined into the
// image by XOR, then the percentage text XORed on top so that it inverts
// whatever lies under each letter. The caller copies the result to the
// screen in one go. The image is size × devicePixelRatio device pixels and
// carries that ratio; shapes are placed in logical pixels.
QImage renderGauge(const GaugeAppearance &look);

} // namespace movan
