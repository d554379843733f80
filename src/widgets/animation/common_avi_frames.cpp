#include "widgets/animation/common_avi_frames.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace movan {

namespace {

constexpr int kFrameCount = 16;
constexpr int kIntervalMs = 70;
const QColor kBackground(192, 192, 192);
const QColor kOutline(64, 64, 64);

void drawFolder(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(230, 190, 70));
    QPainterPath tab;
    tab.moveTo(r.left(), r.top() + r.height() * 0.2);
    tab.lineTo(r.left() + r.width() * 0.1, r.top());
    tab.lineTo(r.left() + r.width() * 0.4, r.top());
    tab.lineTo(r.left() + r.width() * 0.5, r.top() + r.height() * 0.2);
    tab.closeSubpath();
    p.drawPath(tab);
    p.setBrush(QColor(250, 215, 100));
    p.drawRect(QRectF(r.left(), r.top() + r.height() * 0.2, r.width(), r.height() * 0.8));
}

void drawDocument(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kOutline, 1));
    p.setBrush(Qt::white);
    QPainterPath page;
    const qreal fold = r.width() * 0.3;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    p.drawPath(page);
    p.setPen(QPen(QColor(90, 110, 160), 1));
    for (qreal y = r.top() + fold + 3; y < r.bottom() - 2; y += 4)
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

void drawMonitor(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(210, 210, 200));
    p.drawRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.75));
    p.setBrush(QColor(40, 90, 160));
    p.drawRect(QRectF(r.left() + 4, r.top() + 4, r.width() - 8, r.height() * 0.75 - 8));
    p.setBrush(QColor(180, 180, 170));
    p.drawRect(
        QRectF(r.center().x() - r.width() * 0.25, r.top() + r.height() * 0.8, r.width() * 0.5, r.height() * 0.2));
}

void drawBin(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(150, 170, 150));
    QPainterPath bin;
    bin.moveTo(r.left(), r.top() + 4);
    bin.lineTo(r.right(), r.top() + 4);
    bin.lineTo(r.right() - r.width() * 0.15, r.bottom());
    bin.lineTo(r.left() + r.width() * 0.15, r.bottom());
    bin.closeSubpath();
    p.drawPath(bin);
    p.drawRect(QRectF(r.left() - 2, r.top(), r.width() + 4, 4));
    for (int i = 1; i < 4; ++i) {
        const qreal x = r.left() + r.width() * i / 4.0;
        p.drawLine(QPointF(x, r.top() + 8), QPointF(x, r.bottom() - 4));
    }
}

void drawMagnifier(QPainter &p, const QPointF &centre)
{
    p.setPen(QPen(QColor(60, 40, 20), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(7, 7), centre + QPointF(15, 15));
    p.setPen(QPen(kOutline, 2));
    p.setBrush(QColor(200, 230, 250));
    p.drawEllipse(centre, 9, 9);
}

// A point on the arc from `from` to `to`, at `t` in [0, 1].
QPointF arcPoint(QPointF from, QPointF to, qreal t, qreal lift)
{
    const QPointF straight = from + (to - from) * t;
    return straight - QPointF(0, lift * qSin(M_PI * t));
}

QImage blankFrame(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBackground);
    return image;
}

using Painter = void (*)(QPainter &, int frame, const QSize &);

void paintSearch(QPainter &p, int frame, const QSize &size, void (*target)(QPainter &, const QRectF &))
{
    target(p, QRectF(size.width() / 2.0 - 20, 14, 40, 36));
    const qreal angle = 2 * M_PI * frame / kFrameCount;
    drawMagnifier(p, QPointF(size.width() / 2.0 + 26 * qCos(angle), 30 + 14 * qSin(angle)));
}

void paintFlight(QPainter &p, int frame, const QSize &size, void (*from)(QPainter &, const QRectF &),
                 void (*to)(QPainter &, const QRectF &), int papers, bool shrink)
{
    from(p, QRectF(14, 16, 44, 36));
    if (to)
        to(p, QRectF(size.width() - 58, 16, 44, 36));
    // The arc's highest sheet still clears the top edge.
    const QPointF start(40, 34), end(size.width() - 40, shrink ? 22 : 34);
    for (int i = 0; i < papers; ++i) {
        const qreal t = std::fmod(frame / qreal(kFrameCount) + qreal(i) / papers, 1.0);
        const QPointF at = arcPoint(start, end, t, 16);
        const qreal scale = shrink ? 1.0 - t * 0.8 : 1.0;
        drawDocument(p, QRectF(at.x() - 8 * scale, at.y() - 10 * scale, 16 * scale, 20 * scale));
    }
}

void paintFrame(TCommonAVI which, QPainter &p, int frame, const QSize &size)
{
    switch (which) {
    case aviFindFolder:
        paintSearch(p, frame, size, drawFolder);
        break;
    case aviFindFile:
        paintSearch(p, frame, size, drawDocument);
        break;
    case aviFindComputer:
        paintSearch(p, frame, size, drawMonitor);
        break;
    case aviCopyFiles:
        paintFlight(p, frame, size, drawFolder, drawFolder, 3, false);
        break;
    case aviCopyFile:
        paintFlight(p, frame, size, drawDocument, drawDocument, 1, false);
        break;
    case aviRecycleFile:
        paintFlight(p, frame, size, drawFolder, drawBin, 1, false);
        break;
    case aviEmptyRecycle:
        paintFlight(p, frame, size, drawBin, nullptr, 3, true);
        break;
    case aviDeleteFile:
        paintFlight(p, frame, size, drawFolder, nullptr, 1, true);
        break;
    case aviNone:
        break;
    }
}

} // namespace

CommonAviClip commonAviClip(TCommonAVI which)
{
    CommonAviClip clip;
    if (which == aviNone)
        return clip;
    const bool search = which == aviFindFolder || which == aviFindFile || which == aviFindComputer;
    const QSize size = search ? QSize(96, 60) : QSize(272, 60);
    clip.frameIntervalMs = kIntervalMs;
    for (int frame = 0; frame < kFrameCount; ++frame) {
        QImage image = blankFrame(size);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        paintFrame(which, painter, frame, size);
        painter.end();
        clip.frames.append(image);
    }
    return clip;
}

} // namespace movan
