#pragma once

#include <QFont>

// The font of the program's windows and dialogs: "Tahoma", 8 points drawn 11
// pixels high, as the Windows originals are laid out for. "Tahoma" resolves
// through installFontSubstitutions().
QFont formFont();
