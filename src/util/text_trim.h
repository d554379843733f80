#pragma once

#include <QString>

namespace movan {

// Wherever the program trims a text it removes every leading and trailing
// character whose code is 32 or less: blanks and control characters alike.
QString trimControl(const QString &text);

} // namespace movan
