#pragma once

#include "widgets/balloon/balloon_types.h"

#include <QRegion>
#include <QWidget>

class QLabel;
class QTimer;

namespace movan {

// The pop-up of a balloon hint: an icon, a bold title and a text in a
// rounded, outlined body whose arrow points at a spot on the screen. It stays
// above other windows without taking the focus, fades in and out, and
// releases itself when it closes (after a set time or at the first click).
class TBalloon : public QWidget {
    Q_OBJECT

public:
    // A widget owner keeps the balloon as a child window, so closing the
    // owner's window destroys a balloon still open; another owner destroys it
    // when it goes.
    explicit TBalloon(QObject *owner);
    ~TBalloon() override;

    // Called in this order, once.
    void SetFade(bool fadeInOut);
    void ShowAtControl(QWidget *control, TBalloonHoriz horizontal, TBalloonVert vertical, const QString &title,
                       const QString &text, TBalloonType type, int duration);
    void ShowAtPoint(int x, int y, TBalloonPosition corner, const QString &title, const QString &text,
                     TBalloonType type, int duration);

    // The opacity step of the fades, 1 to 255.
    TFrameRange FadeStep() const { return m_fadeStep; }
    void setFadeStep(TFrameRange step);
    bool FadeEnabled() const { return m_fadeEnabled; }

    // 0 (transparent) to 255 (opaque). Whether it shows depends on the window
    // system: without a compositor the balloon is simply opaque.
    int opacity() const { return m_opacity; }
    TBalloonPosition corner() const { return m_corner; }
    // The window's shape in window coordinates; also where the outline is drawn.
    QRegion shape() const { return m_shape; }

signals:
    void opacityChanged(int opacity);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void requestClose();
    void fadeInTick();
    void fadeOut();
    void setOpacity(int opacity);
    void stayOnTop();
    // The part of the screen under the point that windows may use.
    QRect availableAreaAt(QPoint point) const;

    QLabel *m_titleLabel;
    QLabel *m_textLabel;
    QLabel *m_iconImage;
    QTimer *m_closeTimer;
    QTimer *m_fadeTimer;
    bool m_fadeEnabled = true;
    TFrameRange m_fadeStep = 7;
    int m_opacity = 255;
    bool m_fadedOut = false;
    TBalloonPosition m_corner = blnArrowTopLeft;
    QRegion m_shape;
};

} // namespace movan
