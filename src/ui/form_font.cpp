#include "ui/form_font.h"

namespace movan {

QFont formFont()
{
    QFont font(QStringLiteral("Tahoma"));
    // Pixels, not points: the layouts are measured in pixels at 96 dpi, and
    // Xvfb or an offscreen platform may report another resolution.
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::PreferDefault);
    return font;
}

} // namespace movan
