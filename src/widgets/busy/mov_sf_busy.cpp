#include "widgets/busy/mov_sf_busy.h"

#include "platform/x11_window_functions.h"
#include "widgets/animation/animation_control.h"
#include "widgets/common/keep_unminimised.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QtGui/qguiapplication_platform.h>

#include <chrono>

namespace movan {

namespace {

template <typename T> T *makeControl(QWidget *parent, const char *name, QRect geometry)
{
    auto *control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    control->hide();
    return control;
}

const QString kProgressName = QStringLiteral("پیشرفت");

} // namespace

TMovsfBusy::TMovsfBusy(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("MovsfBusy"));
    // Laid out by coordinates, left to right, as the arrangements compute.
    setLayoutDirection(Qt::LeftToRight);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    setAutoFillBackground(true);
    resize(291, 144);

    bvlBorder = makeControl<QFrame>(this, "bvlBorder", rect());
    bvlBorder->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bvlBorder->setLineWidth(1);
    lblMessage1 = makeControl<QLabel>(this, "lblMessage1", QRect(9, 77, 0, 0));
    lblMessage2 = makeControl<QLabel>(this, "lblMessage2", QRect(9, 96, 0, 0));
    lblCheckCaptionSize = makeControl<QLabel>(this, "lblCheckCaptionSize", QRect(0, 0, 0, 0));
    for (QLabel *label : {lblMessage1, lblMessage2}) {
        label->setLayoutDirection(Qt::LeftToRight);
        label->setAlignment(Qt::AlignAbsolute | Qt::AlignLeft | Qt::AlignTop);
    }
    Animate = makeControl<AnimationControl>(this, "Animate", QRect(10, 8, 272, 60));
    ProgressBar = makeControl<QProgressBar>(this, "ProgressBar", QRect(10, 117, 191, 16));
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setAccessibleName(kProgressName);
    btnCancel = makeControl<QPushButton>(this, "btnCancel", QRect(208, 112, 75, 25));
    btnCancel->setText(cancelCaption());
    btnCancel->setDefault(true);
    btnCancel->setAutoDefault(true);
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        setResult(kModalResultCancel);
        if (cancelClickHandler)
            cancelClickHandler(btnCancel);
    });

    m_closeTimer.setSingleShot(true);
    connect(&m_closeTimer, &QTimer::timeout, this, &QWidget::close);
    setCaptionBar(true);
}

TMovsfBusy::~TMovsfBusy() = default;

QString TMovsfBusy::cancelCaption()
{
    return QStringLiteral("انصراف");
}

void TMovsfBusy::setCaptionBar(bool captionBar)
{
    m_captionBar = captionBar;
    Qt::WindowFlags flags = Qt::Tool | Qt::WindowStaysOnTopHint;
    if (captionBar)
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint; // no close box, no system menu
    else
        flags |= Qt::FramelessWindowHint;
    setWindowFlags(flags);
    bvlBorder->setVisible(!captionBar);
}

int TMovsfBusy::CaptionWidth()
{
    if (!m_captionBar || windowTitle().isEmpty())
        return 0;
    lblCheckCaptionSize->setFont(QFontDatabase::systemFont(QFontDatabase::TitleFont));
    lblCheckCaptionSize->setText(windowTitle());
    lblCheckCaptionSize->adjustSize();
    return lblCheckCaptionSize->width();
}

BusyLayout::FrameMetrics TMovsfBusy::frameMetrics() const
{
    const QStyle *s = style();
    const int frame = s->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
    return {frame, frame, s->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this)};
}

quint32 TMovsfBusy::tickCount()
{
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void TMovsfBusy::FormClose(QObject *, QCloseEvent *event)
{
    if (m_shown) {
        // Signed difference: right across the wrap of the 32-bit counter.
        const auto remaining = qint32(EarliestCloseTick - tickCount());
        if (remaining > 0) {
            // Wait on a timer, not in a loop: the event loop keeps running
            // and the waiting window costs no processor time.
            event->ignore();
            m_closeTimer.start(remaining);
            return;
        }
    }
    CloseAction action = caFree;
    if (closeHook)
        closeHook(this, action);
    switch (action) {
    case caNone:
        event->ignore();
        return;
    case caMinimize:
        event->ignore();
        showMinimized();
        return;
    case caHide:
        setResult(kModalResultCancel);
        event->accept();
        return;
    case caFree:
        setResult(kModalResultCancel);
        event->accept();
        Animate->stop();
        deleteLater();
        return;
    }
}

void TMovsfBusy::reject()
{
    if (btnCancel->isVisible() && btnCancel->isEnabled())
        btnCancel->click();
}

void TMovsfBusy::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    offerNoTitleBarButtons();
    m_shown = true;
    if (showHook)
        showHook(this);
    // Where the window system gives no activation (no window manager, focus
    // stealing prevention), the clip still plays once the window is up.
    QTimer::singleShot(0, this, &TMovsfBusy::startAnimation);
}

void TMovsfBusy::closeEvent(QCloseEvent *event)
{
    // The window has no close box; a window manager that offers one anyway
    // must not take it away behind the component's back. It closes through
    // Hide (or Cancel) only.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    FormClose(this, event);
}

bool TMovsfBusy::event(QEvent *event)
{
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate) {
        startAnimation();
        // The hook pumps events; it runs after this event, not inside it.
        if (activateHook)
            QTimer::singleShot(0, this, [this] {
                if (activateHook)
                    activateHook(this);
            });
    }
    return handled;
}

void TMovsfBusy::changeEvent(QEvent *event)
{
    if (restoreIfMinimised(this, event))
        raise();
    QDialog::changeEvent(event);
}

void TMovsfBusy::offerNoTitleBarButtons()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Before the window is mapped, so that the window manager decorates it
    // so from the start.
    if (x11 && m_captionBar)
        allowOnlyMovingX11Window(x11->display(), winId());
}

void TMovsfBusy::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    bvlBorder->setGeometry(rect());
}

void TMovsfBusy::startAnimation()
{
    if (Animate->isVisible() && Animate->hasPlayableSource())
        Animate->play();
}

} // namespace movan
