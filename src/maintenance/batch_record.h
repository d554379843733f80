#pragma once

#include <QString>

#include <optional>

namespace movan {

// Keeps the last batch of a kind in a text file (the text, then CR LF) for
// whoever looks into a restore afterwards; the reason when it could not.
std::optional<QString> writeBatchRecord(const QString &path, const QString &sqlText);

} // namespace movan
