#pragma once

#include "widgets/balloon/balloon_types.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace movan {

// A component that pops up a balloon hint pointing at a control. Each
// ShowBalloon makes a new balloon owned by this component's owner; earlier
// ones stay until they close by themselves.
class TBalloonControl : public QObject {
    Q_OBJECT

public:
    explicit TBalloonControl(QObject *owner = nullptr);
    ~TBalloonControl() override;

    const QStringList &Text() const { return m_text; }
    void setText(const QStringList &lines) { m_text = lines; }
    QString Title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    int Duration() const { return m_duration; }
    void setDuration(int seconds) { m_duration = seconds; }
    TBalloonHoriz Horizontal() const { return m_horizontal; }
    void setHorizontal(TBalloonHoriz value) { m_horizontal = value; }
    TBalloonVert Vertical() const { return m_vertical; }
    void setVertical(TBalloonVert value) { m_vertical = value; }
    // Stored with the form, but the balloon's place comes from the control.
    TBalloonPosition Position() const { return m_position; }
    void setPosition(TBalloonPosition value) { m_position = value; }
    int PixelCoordinateX() const { return m_pixelCoordinateX; }
    void setPixelCoordinateX(int value) { m_pixelCoordinateX = value; }
    int PixelCoordinateY() const { return m_pixelCoordinateY; }
    void setPixelCoordinateY(int value) { m_pixelCoordinateY = value; }
    // Not owned. A control destroyed later reads as no control at all.
    QWidget *Control() const { return m_control; }
    void setControl(QWidget *control) { m_control = control; }
    TBalloonType BalloonType() const { return m_balloonType; }
    void setBalloonType(TBalloonType value) { m_balloonType = value; }
    TFrameRange FadeFrameRate() const { return m_fadeFrameRate; }
    // A rate of 0 would make the fade-out endless; it is taken as 1.
    void setFadeFrameRate(TFrameRange rate) { m_fadeFrameRate = rate < 1 ? 1 : rate; }
    bool FadeIn_Out() const { return m_fadeInOut; }
    void setFadeIn_Out(bool fade) { m_fadeInOut = fade; }

    // Throws AppError "Can't found assigned control!" when no control is set.
    void ShowBalloon();

private:
    QStringList m_text;
    QString m_title;
    int m_duration = 0;
    TBalloonHoriz m_horizontal = blnLeft;
    TBalloonVert m_vertical = blnTop;
    TBalloonPosition m_position = blnArrowTopLeft;
    QPointer<QWidget> m_control;
    int m_pixelCoordinateX = 0;
    int m_pixelCoordinateY = 0;
    TBalloonType m_balloonType = blnInfo;
    TFrameRange m_fadeFrameRate = 7;
    bool m_fadeInOut = true;
};

} // namespace movan
