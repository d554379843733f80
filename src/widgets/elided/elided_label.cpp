#include "widgets/elided/elided_label.h"

#include "widgets/elided/elide_middle.h"

#include <QEvent>
#include <QFontMetrics>

namespace movan {

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    // The place decides the width, never the text.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString &text)
{
    m_fullText = text;
    setToolTip(text);
    setAccessibleDescription(text);
    showFitting();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    showFitting();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        showFitting();
}

void ElidedLabel::showFitting()
{
    // Cut in the middle: the start says why, the end names what is used
    // instead (the login), and both matter.
    const int width = contentsRect().width() - 2 * margin();
    const QFontMetrics metrics = fontMetrics();
    QLabel::setText(elideMiddle(m_fullText, qMax(0, width),
                                [&metrics](const QString &text) { return metrics.horizontalAdvance(text); }));
}

} // namespace movan
