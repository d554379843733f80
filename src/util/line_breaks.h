#pragma once

#include <QString>

namespace movan {

// A label draws a CR as a stray glyph: CR LF and a lone CR become one line
// break each.
QString displayLineBreaks(QString text);

} // namespace movan
