#pragma once

#include <QList>

namespace movan {

// A balloon fades in to 254, never quite opaque, and fades out from 254.
constexpr int kBalloonFadedInOpacity = 254;

struct FadeInStep {
    int opacity;
    bool finished;
};
// One tick of the fade-in from the current opacity.
FadeInStep nextFadeIn(int opacity, int step, bool fadeEnabled);

// The opacities a fade-out shows, in order: 254 and down by the step while
// not negative, then 1.
QList<int> fadeOutSequence(int step);

} // namespace movan
