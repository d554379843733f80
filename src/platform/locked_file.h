#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <functional>
#include <optional>

namespace movan {

// Whole-file reads and rewrites of a small shared file that several programs
// (and several copies of one) change at once. Writers hold an exclusive
// advisory lock on the file across read, change and write, so no write is
// lost; readers take a shared one, so they never see a rewrite half done.
namespace LockedFile {

// Why a read or a rewrite failed, beside the system's own error numbers
// (which are all positive).
enum Problem : int {
    // A folder, a pipe, a device or a socket stands where the file should be.
    kNotRegularFile = -1,
    // The file carries no write permission for anyone: it stays as it is.
    kReadOnlyFile = -2,
    // The path is a link that may not be followed (see trustedLinkTarget).
    kUntrustedLink = -3,
};

// How long a reader or a writer waits for another program's lock before it
// gives up (error EWOULDBLOCK); a program that hangs holding it never hangs
// this one.
constexpr int kLockWaitMs = 10000;

// The file's bytes; nothing when it cannot be read, with *error set to the
// reason (ENOENT when there is no file). Only a regular file is opened, and
// nothing is ever waited for: a pipe or a device named like the file is
// refused (kNotRegularFile) without being read.
std::optional<QByteArray> read(const QByteArray &path, int *error = nullptr);

// Reads the file at target (a real file, links already resolved; an empty
// text when it does not exist yet), hands it to change and stores what change
// returns:
// - atomically, through a temporary file renamed over it, where the folder
//   lets this user do that and keep the file's owner, group, mode and
//   extended attributes (its POSIX ACL among them);
// - otherwise in place, as any program that may write the file but not its
//   folder does. Room for the new text is claimed before the first byte is
//   overwritten, and what changed goes down in one write that never leaves
//   the file shorter (a shorter text is followed by blank lines), so a full
//   disk leaves the old file, and a writer killed during a change that lies
//   within one page of the file (the kernel finishes a page it has begun)
//   leaves the old or the new one.
// A new file is created readable and writable by its owner and the folder's
// group only, since sibling programs and other administrators share it and
// it holds a password. The owner, group, mode, ACL and other extended
// attributes of an existing file never change. A file with no write permission at all is never written. Temporary
// files left by a write that was killed are removed. False when the file
// cannot be written: it is then exactly as it was (or still absent), written
// holds nothing and *error the reason. While it waits for another program's
// lock, setting giveUp (from another thread) ends the wait: false with
// ECANCELED, nothing written.
bool rewrite(const QByteArray &target, const std::function<QByteArray(QByteArrayView current)> &change,
             QByteArray *written = nullptr, int *error = nullptr, const std::atomic<bool> *giveUp = nullptr);

// The name pattern of this file's temporary copies, for cleaning up after
// a killed write: "." + file name + "." + six characters.
bool isTemporaryCopyName(QByteArrayView candidate, QByteArrayView fileName);

// What an in-place rewrite stores for a text shorter than the file it
// replaces: the text followed by blank lines up to the old length.
QByteArray paddedToLength(QByteArrayView text, qsizetype length);

} // namespace LockedFile

} // namespace movan
