#include "widgets/gauge/gauge.h"

#include "widgets/common/invalid_operation.h"
#include "widgets/gauge/gauge_geometry.h"
#include "widgets/gauge/gauge_renderer.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>

#include <climits>

namespace movan {

namespace {

const char *const kValueOutOfRange = "Value must be between %d and %d";

// What assistive technology reads of the gauge: a progress bar with its
// range and value, and the percentage it shows as its text.
class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit GaugeAccessible(TGauge *gauge)
        : QAccessibleWidget(gauge, QAccessible::ProgressBar)
    {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::asprintf("%d%%", gauge()->PercentDone());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return gauge()->Progress(); }
    // The value follows the task; nobody sets it from outside.
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return gauge()->MaxValue(); }
    QVariant minimumValue() const override { return gauge()->MinValue(); }
    QVariant minimumStepSize() const override { return 0; }

private:
    TGauge *gauge() const { return static_cast<TGauge *>(widget()); }
};

QAccessibleInterface *gaugeAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(TGauge::staticMetaObject.className()) && object && object->isWidgetType())
        return new GaugeAccessible(static_cast<TGauge *>(object));
    return nullptr;
}

} // namespace

TGauge::TGauge(QWidget *parent)
    : QWidget(parent)
{
    static const bool accessible = [] {
        QAccessible::installFactory(gaugeAccessibleFactory);
        return true;
    }();
    Q_UNUSED(accessible);
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
    announceValue();
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
    announceValue();
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
    if (PercentDone() != before) {
        repaintNow();
        announceValue();
    }
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
    look.devicePixelRatio = devicePixelRatioF();
    return renderGauge(look);
}

void TGauge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, renderImage());
}

void TGauge::announceValue()
{
    QAccessibleValueChangeEvent event(this, m_progress);
    QAccessible::updateAccessibility(&event);
}

void TGauge::repaintNow()
{
    // A task that reports progress from a blocking loop gives the event loop
    // no chance to paint later, so the change reaches the screen here.
    if (isVisible())
        repaint();
}

} // namespace movan
