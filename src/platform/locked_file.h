#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>

namespace movan {

// Whole-file reads and rewrites of a small shared file that several programs
// (and several copies of one) change at once. Writers hold an exclusive
// advisory lock on the file across read, change and write, so no write is
// lost; readers take a shared one, so they never see a rewrite half done.
namespace LockedFile {

// The file's bytes; nothing when it cannot be opened.
std::optional<QByteArray> read(const QByteArray &path);

// Reads the file at target (a real file, links already resolved; an empty
// text when it does not exist yet, and it is then created readable by its
// owner only), hands it to change and stores what change returns:
// - atomically, through a temporary file renamed over it, where the folder
//   lets this user do that and keep the file's owner and group;
// - otherwise in place (write, truncate, sync), as any program that may
//   write the file but not its folder does.
// The owner, group and mode of an existing file never change. A file with no
// write permission at all is never written. Temporary files left by a write
// that was killed are removed. False when the file cannot be written;
// written then holds nothing.
bool rewrite(const QByteArray &target, const std::function<QByteArray(QByteArrayView current)> &change,
             QByteArray *written = nullptr);

// The name pattern of this file's temporary copies, for cleaning up after
// a killed write: "." + file name + "." + six characters.
bool isTemporaryCopyName(QByteArrayView candidate, QByteArrayView fileName);

} // namespace LockedFile

} // namespace movan
