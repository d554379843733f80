#pragma once

#include "widgets/balloon/balloon_types.h"

#include <QPixmap>

namespace movan {

// The 16 x 16 picture of a balloon type, from the program's resources:
// "INFO", "ERROR" or "WARNING"; an unknown type gets "INFO".
QPixmap balloonIcon(TBalloonType type);
QString balloonIconResource(TBalloonType type);

} // namespace movan
