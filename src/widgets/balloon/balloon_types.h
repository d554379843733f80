#pragma once

#include <cstdint>

namespace movan {

enum TBalloonType : std::uint8_t { blnInfo, blnError, blnWarning };
enum TBalloonHoriz : std::uint8_t { blnLeft, blnMiddle, blnRight };
enum TBalloonVert : std::uint8_t { blnTop, blnCenter, blnBottom };
// Where the balloon's body lies relative to the point its arrow touches.
enum TBalloonPosition : std::uint8_t {
    blnArrowTopLeft,
    blnArrowTopRight,
    blnArrowBottomLeft,
    blnArrowBottomRight,
};
// The opacity step of a fade, 1 to 255.
using TFrameRange = std::uint8_t;

} // namespace movan
