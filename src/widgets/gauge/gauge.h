#pragma once

#include "widgets/gauge/gauge_kind.h"

#include <QColor>
#include <QWidget>

namespace movan {

struct GaugeAppearance;

// Shows how far a task has got as a whole percentage, as text, a bar, a pie
// or a needle. It repaints at once and only when that percentage changes, so
// a task may feed it every step from a tight loop.
class TGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int Progress READ Progress WRITE setProgress)
    Q_PROPERTY(int PercentDone READ PercentDone)
    Q_PROPERTY(bool ShowText READ ShowText WRITE setShowText)
    Q_PROPERTY(QColor ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(QColor BackColor READ BackColor WRITE setBackColor)

public:
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    explicit TGauge(QWidget *parent = nullptr);
    ~TGauge() override;

    int MinValue() const { return m_minValue; }
    int MaxValue() const { return m_maxValue; }
    int Progress() const { return m_progress; }
    TGaugeKind Kind() const { return m_kind; }
    bool ShowText() const { return m_showText; }
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    QColor ForeColor() const { return m_foreColor; }
    QColor BackColor() const { return m_backColor; }
    // The colour around the pie and the dial; follows the parent's background
    // until set.
    QColor Color() const;
    int PercentDone() const;

    // Throw EInvalidOperation for a minimum above the maximum, or the other
    // way round, unless the gauge is being loaded.
    void setMinValue(int value);
    void setMaxValue(int value);
    void setProgress(int value);
    void setKind(TGaugeKind kind);
    void setShowText(bool show);
    void setBorderStyle(TBorderStyle style);
    void setForeColor(const QColor &color);
    void setBackColor(const QColor &color);
    void setColor(const QColor &color);

    // While loading, the range checks are skipped so that the three values
    // may arrive in any order.
    void beginLoading();
    void endLoading();
    bool isLoading() const { return m_loading; }

    // The picture a repaint puts on the screen, at the screen's resolution.
    QImage renderImage() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void repaintNow();
    // Tells assistive technology the new value, as a progress bar does.
    void announceValue();

    int m_minValue = 0;
    int m_maxValue = 100;
    int m_progress = 0;
    TGaugeKind m_kind = gkHorizontalBar;
    bool m_showText = true;
    TBorderStyle m_borderStyle = bsSingle;
    QColor m_foreColor = Qt::black;
    QColor m_backColor = Qt::white;
    bool m_loading = false;
};

} // namespace movan
