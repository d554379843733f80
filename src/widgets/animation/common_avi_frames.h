#pragma once

#include "stored_properties/abc_avi_source.h"

#include <QImage>
#include <QList>

namespace movan {

// The standard animations, drawn by the program itself. Every clip's first
// pixel is its background, so a transparent control blends it away.
struct CommonAviClip {
    QList<QImage> frames;
    int frameIntervalMs = 0;
};

// An empty clip for aviNone.
CommonAviClip commonAviClip(TCommonAVI which);

} // namespace movan
