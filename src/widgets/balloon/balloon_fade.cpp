#include "widgets/balloon/balloon_fade.h"

namespace movan {

FadeInStep nextFadeIn(int opacity, int step, bool fadeEnabled)
{
    if (fadeEnabled && opacity + step <= kBalloonFadedInOpacity)
        return {opacity + step, false};
    return {kBalloonFadedInOpacity, true};
}

QList<int> fadeOutSequence(int step)
{
    QList<int> values;
    // A step of 0 would never end; the step is at least 1.
    if (step < 1)
        step = 1;
    for (int value = kBalloonFadedInOpacity; value >= 0; value -= step)
        values.append(value);
    values.append(1);
    return values;
}

} // namespace movan
