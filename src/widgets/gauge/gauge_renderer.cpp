#include "widgets/gauge/gauge_renderer.h"

#include "widgets/gauge/gauge_geometry.h"

#include <QPainter>

namespace movan {

namespace {

using namespace GaugeGeometry;

// A shape outlined by a one-pixel pen covers the pixels from left to right - 1
// of its edge rectangle, as QPainter draws a QRect one wider than its width.
QRect outlinedShapeRect(const EdgeRect &box)
{
    return QRect(box.left, box.top, box.right - box.left - 1, box.bottom - box.top - 1);
}

QImage blackImage(QSize size, qreal devicePixelRatio)
{
    QImage image((QSizeF(size) * devicePixelRatio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::black);
    return image;
}

void xorOnto(QImage &target, const QImage &source)
{
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(0, 0, source);
}

void drawBar(QPainter &painter, const GaugeAppearance &look, const EdgeRect &inner)
{
    painter.fillRect(inner.toQRect(), look.backColor);
    if (look.kind == gkHorizontalBar) {
        if (const auto bar = horizontalBar(inner, look.percentDone))
            painter.fillRect(bar->toQRect(), look.foreColor);
    } else {
        painter.fillRect(verticalBar(inner, look.percentDone).toQRect(), look.foreColor);
    }
}

void drawPie(QPainter &painter, const GaugeAppearance &look, const EdgeRect &inner)
{
    painter.fillRect(inner.toQRect(), look.color);
    const EdgeRect box = pieBox(inner, look.singleBorder);
    const QRect ellipse = outlinedShapeRect(box);
    painter.setPen(QPen(look.foreColor, 1));
    painter.setBrush(look.backColor);
    painter.drawEllipse(ellipse);
    if (look.percentDone <= 0)
        return;
    painter.setBrush(look.foreColor);
    const ArcAngles arc = arcBetweenRadials(ellipse, pieWedgeStart(box, look.percentDone), pieWedgeEnd(box));
    painter.drawPie(ellipse, arc.start, arc.span);
}

void drawNeedle(QPainter &painter, const GaugeAppearance &look, const EdgeRect &inner)
{
    painter.fillRect(inner.toQRect(), look.color);
    const NeedleDial dial = needleDial(inner, look.singleBorder);
    const QRect ellipse = outlinedShapeRect(dial.box);
    // A flat cap leaves out the line's last point, so the base line stops one
    // pixel short of the gauge's right edge.
    painter.setPen(QPen(look.foreColor, 1, Qt::SolidLine, Qt::FlatCap));
    painter.setBrush(look.backColor);
    const ArcAngles arc = arcBetweenRadials(ellipse, dial.startRadial, dial.endRadial);
    painter.drawPie(ellipse, arc.start, arc.span);
    painter.drawLine(dial.baseLineFrom, dial.baseLineTo);
    if (look.percentDone <= 0)
        return;
    const Line hand = needle(look.size.width(), inner, look.percentDone);
    painter.drawLine(hand.from, hand.to);
}

void drawLook(QImage &overlay, const GaugeAppearance &look, const EdgeRect &inner)
{
    QPainter painter(&overlay);
    switch (look.kind) {
    case gkText:
        painter.fillRect(inner.toQRect(), look.backColor);
        break;
    case gkHorizontalBar:
    case gkVerticalBar:
        drawBar(painter, look, inner);
        break;
    case gkPie:
        drawPie(painter, look, inner);
        break;
    case gkNeedle:
        drawNeedle(painter, look, inner);
        break;
    }
}

void drawPercentText(QImage &image, const GaugeAppearance &look, const EdgeRect &inner)
{
    QImage text = blackImage(look.size, image.devicePixelRatio());
    {
        QPainter painter(&text);
        // Smoothed edges would XOR into stray colours; every pixel of a letter
        // must be a clean inversion of what lies below it.
        QFont font = look.font;
        font.setStyleStrategy(QFont::NoAntialias);
        painter.setFont(font);
        // The figures read "45%" whatever the direction of the window around.
        painter.setLayoutDirection(Qt::LeftToRight);
        painter.setPen(Qt::white);
        painter.setClipRect(inner.toQRect());
        const QString label = QString::asprintf("%d%%", look.percentDone);
        const QFontMetrics metrics(font);
        const QPoint origin = textOrigin(inner, metrics.horizontalAdvance(label), metrics.height());
        painter.drawText(QRect(origin, QSize(metrics.horizontalAdvance(label), metrics.height())),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, label);
    }
    xorOnto(image, text);
}

} // namespace

QImage renderGauge(const GaugeAppearance &look)
{
    const qreal ratio = look.devicePixelRatio > 0 ? look.devicePixelRatio : 1.0;
    QImage image = blackImage(look.size, ratio);
    if (look.size.isEmpty())
        return image;
    const EdgeRect inner = innerRect(look.size.width(), look.size.height(), look.singleBorder);
    QImage overlay = blackImage(look.size, ratio);
    drawLook(overlay, look, inner);
    xorOnto(image, overlay);
    if (look.showText)
        drawPercentText(image, look, inner);
    return image;
}

} // namespace movan
