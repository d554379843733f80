#include "widgets/balloon/balloon_window.h"

#include "ui/accessible_role.h"
#include "widgets/balloon/balloon_fade.h"
#include "widgets/balloon/balloon_geometry.h"
#include "widgets/balloon/balloon_icons.h"
#include "widgets/balloon/balloon_text.h"
#include "widgets/common/keep_unminimised.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QTimer>

#include <climits>

namespace movan {

namespace {

const char *const kFontFace = "Tahoma";
// 8 points at 96 dpi, set in pixels like the rest of the layout.
constexpr int kFontPixelSize = 11;
constexpr int kIconSize = 16;

QWidget *ownerWidget(QObject *owner)
{
    return qobject_cast<QWidget *>(owner);
}

// A label sizes itself to its text; an empty one still keeps one line's
// height, the width of a space.
void fitToText(QLabel *label, const QString &text)
{
    label->setText(balloonLabelText(text));
    if (label->text().isEmpty()) {
        const QFontMetrics metrics(label->font());
        label->resize(metrics.horizontalAdvance(QLatin1Char(' ')), metrics.height());
    } else {
        label->resize(label->sizeHint());
    }
}

QLabel *makeLabel(QWidget *balloon, const char *name)
{
    auto *label = new QLabel(balloon);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    // A click on a label counts as a click on the balloon.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace

QRect TBalloon::availableAreaAt(QPoint point) const
{
    const QScreen *screen = QGuiApplication::screenAt(point);
    if (!screen && parentWidget())
        screen = parentWidget()->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

TBalloon::TBalloon(QObject *owner)
    : QWidget(ownerWidget(owner),
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
                  | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("TBalloon"));
    // Read as a notice, not as an unnamed filler.
    setAccessibleRole(this, QAccessible::AlertMessage);
    if (owner && !ownerWidget(owner))
        connect(owner, &QObject::destroyed, this, [this] { delete this; });
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);

    // The tooltip colours, so the text stays readable whatever the theme.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));
    colours.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::ToolTipText));
    setPalette(colours);
    setAutoFillBackground(true);
    QFont face(QString::fromLatin1(kFontFace));
    face.setPixelSize(kFontPixelSize);
    setFont(face);

    m_iconImage = new QLabel(this);
    m_iconImage->setObjectName(QStringLiteral("IconImage"));
    m_iconImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_iconImage->setGeometry(10, 10, kIconSize, kIconSize);

    m_titleLabel = makeLabel(this, "TitleLabel");
    QFont bold = font();
    bold.setBold(true);
    m_titleLabel->setFont(bold);
    m_titleLabel->move(34, 12);

    m_textLabel = makeLabel(this, "TextLabel");
    m_textLabel->move(10, m_textLabel->y());

    m_closeTimer = new QTimer(this);
    m_closeTimer->setObjectName(QStringLiteral("CloseTimer"));
    connect(m_closeTimer, &QTimer::timeout, this, &TBalloon::requestClose);
    m_fadeTimer = new QTimer(this);
    m_fadeTimer->setObjectName(QStringLiteral("FadeTimer"));
    connect(m_fadeTimer, &QTimer::timeout, this, &TBalloon::fadeInTick);
}

TBalloon::~TBalloon()
{
    // Destroyed with its owner while still on screen: fade out first, as a
    // balloon that closes by itself does.
    if (isVisible())
        fadeOut();
}

void TBalloon::setFadeStep(TFrameRange step)
{
    m_fadeStep = step < 1 ? 1 : step;
}

void TBalloon::SetFade(bool fadeInOut)
{
    m_fadeEnabled = fadeInOut;
    setOpacity(fadeInOut ? 0 : 255);
}

void TBalloon::ShowAtControl(QWidget *control, TBalloonHoriz horizontal, TBalloonVert vertical, const QString &title,
                             const QString &text, TBalloonType type, int duration)
{
    QRect onScreen
        = control->isWindow() ? control->frameGeometry() : QRect(control->mapToGlobal(QPoint(0, 0)), control->size());
    const EdgeRect rect{onScreen.left(), onScreen.top(), onScreen.left() + onScreen.width(),
                        onScreen.top() + onScreen.height()};
    const QPoint point = BalloonGeometry::anchor(rect, horizontal, vertical);
    ShowAtPoint(point.x(), point.y(), BalloonGeometry::corner(horizontal, vertical), title, text, type, duration);
}

void TBalloon::ShowAtPoint(int x, int y, TBalloonPosition corner, const QString &title, const QString &text,
                           TBalloonType type, int duration)
{
    namespace geometry = BalloonGeometry;
    fitToText(m_titleLabel, title);
    fitToText(m_textLabel, text);
    m_iconImage->setPixmap(balloonIcon(type));

    const auto layOut = [this](bool onTop) {
        const geometry::Layout places = geometry::layout(onTop, m_titleLabel->height());
        m_titleLabel->move(places.title);
        m_textLabel->move(places.text);
        m_iconImage->move(places.icon);
        return geometry::windowSize(m_titleLabel->geometry(), m_textLabel->geometry(), onTop);
    };
    QSize size = layOut(geometry::arrowOnTop(corner));
    // The balloon stays on the screen, at any scale: near an edge it hangs
    // on the other side of the spot it points at.
    const geometry::ScreenPlacement placed
        = geometry::placeInside(QPoint(x, y), corner, size, availableAreaAt(QPoint(x, y)));
    if (geometry::arrowOnTop(placed.corner) != geometry::arrowOnTop(corner))
        size = layOut(geometry::arrowOnTop(placed.corner));
    m_corner = placed.corner;
    setGeometry(QRect(placed.topLeft, size));
    m_shape = geometry::region(geometry::shape(placed.corner, size, placed.tipX));
    setMask(m_shape);

    setWindowState(Qt::WindowNoState);
    show();
    announce(this, title.isEmpty() ? text : title + u'\n' + text);
    m_fadeTimer->setInterval(1);
    if (m_fadeEnabled)
        m_fadeTimer->start();
    // A duration of 0 (or less) means the balloon stays until clicked.
    if (duration > 0) {
        m_closeTimer->setInterval(duration > INT_MAX / 1000 ? INT_MAX : duration * 1000);
        m_closeTimer->start();
    }
}

bool TBalloon::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::DeferredDelete:
        // The release request: the fade-out runs while the window is still
        // on screen, and it disappears after.
        if (isVisible())
            fadeOut();
        break;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        stayOnTop();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TBalloon::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    for (const QRect &rect : BalloonGeometry::outline(m_shape))
        painter.fillRect(rect, Qt::black);
}

void TBalloon::mousePressEvent(QMouseEvent *)
{
    requestClose();
}

void TBalloon::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    stayOnTop();
}

void TBalloon::changeEvent(QEvent *event)
{
    if (restoreIfMinimised(this, event))
        stayOnTop();
    QWidget::changeEvent(event);
}

void TBalloon::requestClose()
{
    m_closeTimer->stop();
    deleteLater();
}

void TBalloon::fadeInTick()
{
    const FadeInStep step = nextFadeIn(m_opacity, m_fadeStep, m_fadeEnabled);
    if (step.finished)
        m_fadeTimer->stop();
    setOpacity(step.opacity);
}

void TBalloon::fadeOut()
{
    m_fadeTimer->stop();
    if (!m_fadeEnabled || m_fadedOut)
        return;
    m_fadedOut = true;
    for (int value : fadeOutSequence(m_fadeStep)) {
        setOpacity(value);
        repaint();
    }
}

void TBalloon::setOpacity(int opacity)
{
    m_opacity = opacity;
    setWindowOpacity(opacity / 255.0);
    emit opacityChanged(opacity);
}

void TBalloon::stayOnTop()
{
    // Raise within the stay-on-top band without taking the focus.
    raise();
}

} // namespace movan
