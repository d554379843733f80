#pragma once

#include <QFont>

namespace movan {

// The font of the program's windows and dialogs: "Tahoma", 8 points drawn 11
// pixels high, the measure every window's layout is drawn to. "Tahoma" resolves
// through installFontSubstitutions().
QFont formFont();

} // namespace movan
