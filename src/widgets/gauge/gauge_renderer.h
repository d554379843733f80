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
};

// Draws the whole gauge off screen: the look on an overlay combined into the
// image by XOR, then the percentage text XORed on top so that it inverts
// whatever lies under each letter. The caller copies the result to the
// screen in one go.
QImage renderGauge(const GaugeAppearance &look);

} // namespace movan
