#pragma once

#include <QString>

#include <functional>

namespace movan {

// The text cut in its middle to fit width as measure measures it, the cut
// marked with "…" (U+2026, whatever the font: a font without it still draws
// it through fallback, where Qt's own eliding gives up and writes "...").
// As much of the start as of the end is kept, never half of a surrogate
// pair. A text that fits comes back whole; when even "…" does not fit, "…".
QString elideMiddle(const QString &text, int width, const std::function<int(const QString &)> &measure);

} // namespace movan
