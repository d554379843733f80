#pragma once

#include <QByteArray>

#include <optional>

namespace movan {

// The file a write to this path must change: symbolic links are followed to
// the end of their chain, as the Windows profile functions do, but only
// through links owned by the writing user or by the owner of the file the
// chain leads to, so that a link planted by someone else never sends a write
// elsewhere. A path that is not a link comes back as it is, whether or not the
// file exists; a refused or dangling chain gives nothing, so no file is ever
// created where a link points.
std::optional<QByteArray> trustedLinkTarget(const QByteArray &path);

} // namespace movan
