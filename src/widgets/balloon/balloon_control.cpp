#include "widgets/balloon/balloon_control.h"

#include "platform/app_error.h"
#include "widgets/balloon/balloon_text.h"
#include "widgets/balloon/balloon_window.h"

namespace movan {

namespace {

const char *const kNoControl = "Can't found assigned control!";
const char *const kDefaultTitle = "Movan System";

} // namespace

TBalloonControl::TBalloonControl(QObject *owner)
    : QObject(owner)
    , m_title(QString::fromLatin1(kDefaultTitle))
{}

TBalloonControl::~TBalloonControl() = default;

void TBalloonControl::ShowBalloon()
{
    if (!m_control)
        throw AppError(QString::fromLatin1(kNoControl));
    auto *balloon = new TBalloon(parent());
    balloon->setFadeStep(m_fadeFrameRate);
    balloon->SetFade(m_fadeInOut);
    balloon->ShowAtControl(m_control, m_horizontal, m_vertical, m_title, balloonText(m_text), m_balloonType,
                           m_duration);
}

} // namespace movan
