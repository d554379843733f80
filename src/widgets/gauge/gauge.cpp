#include "widgets/gauge/gauge.h"

#include "widgets/common/invalid_operation.h"
#include "widgets/gauge/gauge_geometry.h"
#include "widgets/gauge/gauge_renderer.h"

#include <QPainter>

#include <climits>

namespace movan {

namespace {

const char *const kValueOutOfRange = "Value must be between %d and %d";

} // namespace

TGauge::TGauge(QWidget *parent)
    : QWidget(parent)
{
    // The gauge paints every pixel of its rectangle itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

TGauge::~TGauge() = default;

QColor TGauge::Color() const
{
    return palette().color(QPalette::Window);
}

int TGauge::PercentDone() const
{
    return ValueToPercent(int(unsigned(m_progress) - unsigned(m_minValue)),
                          int(unsigned(m_maxValue) - unsigned(m_minValue)));
}

void TGauge::setMinValue(int value)
{
    if (value == m_minValue)
        return;
    if (value > m_maxValue && !m_loading)
        throw EInvalidOperation(QString::asprintf(kValueOutOfRange, -INT_MAX, m_maxValue - 1));
    m_minValue = value;
    if (m_progress < value)
        m_progress = value;
    repaintNow();
}

void TGauge::setMaxValue(int value)
{
    if (value == m_maxValue)
        return;
    if (value < m_minValue && !m_loading)
        throw EInvalidOperation(QString::asprintf(kValueOutOfRange, m_minValue + 1, INT_MAX));
    m_maxValue = value;
    if (m_progress > value)
        m_progress = value;
    repaintNow();
}

void TGauge::setProgress(int value)
{
    const int before = PercentDone();
    if (value < m_minValue)
        value = m_minValue;
    else if (value > m_maxValue)
        value = m_maxValue;
    if (value == m_progress)
        return;
    m_progress = value;
    if (PercentDone() != before)
        repaintNow();
}

void TGauge::setKind(TGaugeKind kind)
{
    if (kind == m_kind)
        return;
    m_kind = kind;
    repaintNow();
}

void TGauge::setShowText(bool show)
{
    if (show == m_showText)
        return;
    m_showText = show;
    repaintNow();
}

void TGauge::setBorderStyle(TBorderStyle style)
{
    if (style == m_borderStyle)
        return;
    m_borderStyle = style;
    repaintNow();
}

void TGauge::setForeColor(const QColor &color)
{
    if (color == m_foreColor)
        return;
    m_foreColor = color;
    repaintNow();
}

void TGauge::setBackColor(const QColor &color)
{
    if (color == m_backColor)
        return;
    m_backColor = color;
    repaintNow();
}

void TGauge::setColor(const QColor &color)
{
    if (color == Color())
        return;
    QPalette own = palette();
    own.setColor(QPalette::Window, color);
    setPalette(own);
    repaintNow();
}

void TGauge::beginLoading()
{
    m_loading = true;
}

void TGauge::endLoading()
{
    m_loading = false;
}

QImage TGauge::renderImage() const
{
    GaugeAppearance look;
    look.size = size();
    look.kind = m_kind;
    look.showText = m_showText;
    look.singleBorder = m_borderStyle == bsSingle;
    look.foreColor = m_foreColor;
    look.backColor = m_backColor;
    look.color = Color();
    look.font = font();
    look.percentDone = PercentDone();
    return renderGauge(look);
}

void TGauge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, renderImage());
}

void TGauge::repaintNow()
{
    // A task that reports progress from a blocking loop gives the event loop
    // no chance to paint later, so the change reaches the screen here.
    if (isVisible())
        repaint();
}

} // namespace movan
