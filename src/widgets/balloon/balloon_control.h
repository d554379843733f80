#pragma once

#include "widgets/balloon/balloon_types.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

// A component that pops up a balloon hint pointing at a control. Each
// ShowBalloon makes a new balloon owned by this component's owner; earlier
// ones stay until they close by themselves.
class TBalloonControl : public QObject {
    Q_OBJECT

public:
    explicit TBalloonControl(QObject *owner = nullptr);
    ~TBalloonControl() override;

    const QStringList &Text() const { return m_Text; }
    void setText(const QStringList &lines) { m_Text = lines; }
    QString Title() const { return m_Title; }
    void setTitle(const QString &title) { m_Title = title; }
    int Duration() const { return m_Duration; }
    void setDuration(int seconds) { m_Duration = seconds; }
    TBalloonHoriz Horizontal() const { return m_Horizontal; }
    void setHorizontal(TBalloonHoriz value) { m_Horizontal = value; }
    TBalloonVert Vertical() const { return m_Vertical; }
    void setVertical(TBalloonVert value) { m_Vertical = value; }
    // Stored with the form, but the balloon's place comes from the control.
    TBalloonPosition Position() const { return m_Position; }
    void setPosition(TBalloonPosition value) { m_Position = value; }
    int PixelCoordinateX() const { return m_PixelCoordinateX; }
    void setPixelCoordinateX(int value) { m_PixelCoordinateX = value; }
    int PixelCoordinateY() const { return m_PixelCoordinateY; }
    void setPixelCoordinateY(int value) { m_PixelCoordinateY = value; }
    // Not owned. A control destroyed later reads as no control at all.
    QWidget *Control() const { return m_Control; }
    void setControl(QWidget *control) { m_Control = control; }
    TBalloonType BalloonType() const { return m_BalloonType; }
    void setBalloonType(TBalloonType value) { m_BalloonType = value; }
    TFrameRange FadeFrameRate() const { return m_FadeFrameRate; }
    // A rate of 0 would make the fade-out endless; it is taken as 1.
    void setFadeFrameRate(TFrameRange rate) { m_FadeFrameRate = rate < 1 ? 1 : rate; }
    bool FadeIn_Out() const { return m_FadeIn_Out; }
    void setFadeIn_Out(bool fade) { m_FadeIn_Out = fade; }

    // Throws AppError "Can't found assigned control!" when no control is set.
    void ShowBalloon();

private:
    QStringList m_Text;
    QString m_Title;
    int m_Duration = 0;
    TBalloonHoriz m_Horizontal = blnLeft;
    TBalloonVert m_Vertical = blnTop;
    TBalloonPosition m_Position = blnArrowTopLeft;
    QPointer<QWidget> m_Control;
    int m_PixelCoordinateX = 0;
    int m_PixelCoordinateY = 0;
    TBalloonType m_BalloonType = blnInfo;
    TFrameRange m_FadeFrameRate = 7;
    bool m_FadeIn_Out = true;
};
