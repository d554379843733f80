#include "widgets/balloon/balloon_control.h"

#include "platform/app_error.h"
#include "widgets/balloon/balloon_text.h"
#include "widgets/balloon/balloon_window.h"

namespace {

const char *const kNoControl = "Can't found assigned control!";
const char *const kDefaultTitle = "Movan System";

} // namespace

TBalloonControl::TBalloonControl(QObject *owner)
    : QObject(owner), m_Title(QString::fromLatin1(kDefaultTitle))
{
}

TBalloonControl::~TBalloonControl() = default;

void TBalloonControl::ShowBalloon()
{
    if (!m_Control)
        throw AppError(QString::fromLatin1(kNoControl));
    auto *balloon = new TBalloon(parent());
    balloon->setFadeStep(m_FadeFrameRate);
    balloon->SetFade(m_FadeIn_Out);
    balloon->ShowAtControl(m_Control, m_Horizontal, m_Vertical, m_Title, balloonText(m_Text), m_BalloonType,
                           m_Duration);
}
