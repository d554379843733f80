#pragma once

namespace movan {

// "Tahoma" does not exist on Linux; without a substitution Qt silently draws
// Persian text in a heavy, wide fallback. Call right after the QApplication
// exists and before any widget is made.
void installFontSubstitutions();

} // namespace movan
