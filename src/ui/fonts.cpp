#include "ui/fonts.h"

#include <QFont>

namespace movan {

void installFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("Noto Sans Arabic UI"));
}

} // namespace movan
