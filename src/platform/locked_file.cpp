#include "platform/locked_file.h"

#include <QDeadlineTimer>
#include <QList>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace movan {

namespace {

constexpr QByteArrayView kTemporarySuffix = ".XXXXXX";
// A reader that cannot get its shared lock in this time reads all the same:
// an in-place rewrite goes down in one write, and a reader must not hang.
constexpr int kReadLockWaitMs = 2000;
constexpr mode_t kNewFileMode = 0660;

template <typename Call> int retryOnSignal(Call call)
{
    int rc;
    do {
        rc = call();
    } while (rc < 0 && errno == EINTR);
    return rc;
}

// Owns a descriptor; close() is never retried on Linux.
class Descriptor {
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// For the calls whose failure changes nothing about what follows.
void ignoreFailure(int) {}

bool fail(int *error, int reason)
{
    if (error)
        *error = reason;
    return false;
}

std::optional<QByteArray> readAll(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::pread(fd, chunk, sizeof chunk, off_t(bytes.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(chunk, got);
    }
}

// One pwrite for the whole text where the kernel allows it: a file of a page
// or less then changes in one step, whatever signal comes.
bool writeAllAt(int fd, QByteArrayView bytes, off_t offset)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(fd, bytes.data() + done, size_t(bytes.size() - done), offset + off_t(done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        done += written;
    }
    return true;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray fileNameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Waits for the lock a bounded time; false with EWOULDBLOCK when another
// program keeps it, with ECANCELED as soon as giveUp is set.
bool lockWithin(int fd, int operation, int waitMs, const std::atomic<bool> *giveUp = nullptr)
{
    const QDeadlineTimer deadline(waitMs);
    int pauseMs = 1;
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK || deadline.hasExpired())
            return false;
        if (giveUp && giveUp->load()) {
            errno = ECANCELED;
            return false;
        }
        QThread::msleep(pauseMs);
        pauseMs = std::min(pauseMs * 2, 20);
    }
}

// A new file joins the folder's group, which the kernel already gives it in
// a setgid folder; elsewhere it is asked for, and the user's own group stays
// when the user is no member.
void shareWithFolderGroup(int fd, const QByteArray &target)
{
    ::fchmod(fd, kNewFileMode);
    struct stat folder {
    }, file{};
    if (::stat(folderOf(target).constData(), &folder) == 0 && ::fstat(fd, &file) == 0 && file.st_gid != folder.st_gid)
        ignoreFailure(::fchown(fd, uid_t(-1), folder.st_gid));
}

// Removes the file this writer created for a save that did not happen, so a
// failed first save leaves no file where there was none.
void removeCreated(const QByteArray &target, int fd)
{
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && ::lstat(target.constData(), &named) == 0 && sameFile(held, named))
        ::unlink(target.constData());
}

// Opens the file and holds its exclusive lock. A writer that replaced the
// file while this one waited leaves the lock on a file no longer in place:
// then the new one is opened and locked instead.
bool openLocked(const QByteArray &target, Descriptor &fd, bool &created, int *error, const std::atomic<bool> *giveUp)
{
    for (;;) {
        created = false;
        struct stat named {};
        if (::lstat(target.constData(), &named) == 0 && !S_ISREG(named.st_mode))
            return fail(error, S_ISLNK(named.st_mode) ? LockedFile::kUntrustedLink : LockedFile::kNotRegularFile);
        fd.reset(retryOnSignal(
            [&] { return ::open(target.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }));
        if (!fd.valid() && errno == ENOENT) {
            fd.reset(retryOnSignal([&] {
                return ::open(target.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
            }));
            if (!fd.valid() && errno == EEXIST)
                continue;
            if (fd.valid()) {
                created = true;
                shareWithFolderGroup(fd.get(), target);
            }
        }
        if (!fd.valid())
            return fail(error, errno == ELOOP ? LockedFile::kUntrustedLink : errno);
        struct stat held {};
        if (::fstat(fd.get(), &held) != 0)
            return fail(error, errno);
        if (!S_ISREG(held.st_mode))
            return fail(error, LockedFile::kNotRegularFile);
        if (!lockWithin(fd.get(), LOCK_EX, LockedFile::kLockWaitMs, giveUp)) {
            const int reason = errno;
            if (created)
                removeCreated(target, fd.get());
            return fail(error, reason);
        }
        if (::lstat(target.constData(), &named) == 0 && sameFile(named, held))
            return true;
    }
}

void removeStaleTemporaries(const QByteArray &folder, const QByteArray &fileName)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const uid_t me = ::geteuid();
    while (const dirent *entry = ::readdir(dir)) {
        if (!LockedFile::isTemporaryCopyName(entry->d_name, fileName))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_uid == me)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// The names of a file's extended attributes; nothing when they cannot be
// listed. A file system without them has none.
std::optional<QList<QByteArray>> attributeNames(int fd)
{
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP ? std::optional(QList<QByteArray>()) : std::nullopt;
        QByteArray names(qsizetype(size), '\0');
        const ssize_t got = ::flistxattr(fd, names.data(), size_t(names.size()));
        // Changed between the two calls: asked again.
        if (got < 0 && errno == ERANGE)
            continue;
        if (got < 0)
            return std::nullopt;
        names.truncate(qsizetype(got));
        QList<QByteArray> list = names.split('\0');
        list.removeAll(QByteArray());
        return list;
    }
}

std::optional<QByteArray> attributeValue(int fd, const QByteArray &name)
{
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name.constData(), nullptr, 0);
        if (size < 0)
            return std::nullopt;
        QByteArray value(qsizetype(size), '\0');
        const ssize_t got = ::fgetxattr(fd, name.constData(), value.data(), size_t(value.size()));
        if (got < 0 && errno == ERANGE)
            continue;
        if (got < 0)
            return std::nullopt;
        value.truncate(qsizetype(got));
        return value;
    }
}

// The replacement carries exactly the extended attributes of the file it
// replaces: its POSIX ACL (system.posix_acl_access), through which an
// administrator may share it, among them, and none the folder's default ACL
// gave the new file. False when that cannot be done; the caller then keeps
// the file and rewrites it in place.
bool copyExtendedAttributes(int from, int to)
{
    const auto wanted = attributeNames(from);
    const auto present = attributeNames(to);
    if (!wanted || !present)
        return false;
    for (const QByteArray &name : *present) {
        if (!wanted->contains(name) && ::fremovexattr(to, name.constData()) != 0)
            return false;
    }
    for (const QByteArray &name : *wanted) {
        const auto value = attributeValue(from, name);
        if (!value || ::fsetxattr(to, name.constData(), value->constData(), size_t(value->size()), 0) != 0)
            return false;
    }
    return true;
}

bool replaceAtomically(const QByteArray &target, int original, const struct stat &current, QByteArrayView bytes,
                       int *error)
{
    const QByteArray folder = folderOf(target);
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return fail(error, errno);
    QByteArray temp = folder + "/." + fileNameOf(target) + kTemporarySuffix.toByteArray();
    // Created readable by this user only: it holds the password from the start.
    Descriptor fd(::mkstemp(temp.data()));
    if (!fd.valid())
        return fail(error, errno);
    // The mode before the ACL: setting the ACL sets the group bits to its mask.
    const bool ok = ::fchown(fd.get(), current.st_uid, current.st_gid) == 0 && writeAllAt(fd.get(), bytes, 0)
        && ::fchmod(fd.get(), current.st_mode & 07777) == 0 && copyExtendedAttributes(original, fd.get())
        && ::fsync(fd.get()) == 0;
    const int reason = errno;
    fd.reset();
    if (!ok) {
        ::unlink(temp.constData());
        return fail(error, reason);
    }
    // In a sticky folder the rename fails for a file of another user.
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int renameReason = errno;
        ::unlink(temp.constData());
        return fail(error, renameReason);
    }
    Descriptor folderFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.valid())
        ::fsync(folderFd.get());
    return true;
}

// The old text stays until the new one is sure to fit: room beyond the old
// end is claimed first, and only then is the file overwritten, in one write
// that never makes it shorter.
bool rewriteInPlace(const QByteArray &target, const struct stat &locked, QByteArrayView before, QByteArrayView after,
                    QByteArray *stored, int *error)
{
    Descriptor fd(retryOnSignal(
        [&] { return ::open(target.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }));
    if (!fd.valid())
        return fail(error, errno == ELOOP ? LockedFile::kUntrustedLink : errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return fail(error, errno);
    if (!sameFile(st, locked))
        return fail(error, ESTALE);
    const off_t oldSize = st.st_size;
    const QByteArray bytes
        = after.size() < oldSize ? LockedFile::paddedToLength(after, qsizetype(oldSize)) : after.toByteArray();
    if (bytes.size() > oldSize && ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0) {
        if (errno != EOPNOTSUPP)
            return fail(error, errno);
        // A file system that claims no room ahead: the new end is written
        // first and taken back when it does not fit.
        if (!writeAllAt(fd.get(), QByteArrayView(bytes).sliced(oldSize), oldSize)) {
            const int reason = errno;
            ignoreFailure(::ftruncate(fd.get(), oldSize));
            return fail(error, reason);
        }
    }
    // Only what changed is written: a change within one page goes down in
    // one step, however large the file.
    qsizetype unchanged = 0;
    const qsizetype common = std::min(bytes.size(), before.size());
    while (unchanged < common && bytes[unchanged] == before[unchanged])
        ++unchanged;
    if (!writeAllAt(fd.get(), QByteArrayView(bytes).sliced(unchanged), off_t(unchanged))) {
        // Room was claimed, so only a failing disk gets here: put back what
        // can be put back.
        const int reason = errno;
        writeAllAt(fd.get(), before, 0);
        ignoreFailure(::ftruncate(fd.get(), oldSize));
        return fail(error, reason);
    }
    if (::fsync(fd.get()) != 0)
        return fail(error, errno);
    *stored = bytes;
    return true;
}

} // namespace

namespace LockedFile {

std::optional<QByteArray> read(const QByteArray &path, int *error)
{
    const auto failed = [error](int reason) -> std::optional<QByteArray> {
        fail(error, reason);
        return std::nullopt;
    };
    // Looked at before it is opened: opening a device may act on it.
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return failed(errno);
    if (!S_ISREG(st.st_mode))
        return failed(kNotRegularFile);
    Descriptor fd(
        retryOnSignal([&] { return ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }));
    if (!fd.valid())
        return failed(errno);
    if (::fstat(fd.get(), &st) != 0)
        return failed(errno);
    if (!S_ISREG(st.st_mode))
        return failed(kNotRegularFile);
    lockWithin(fd.get(), LOCK_SH, kReadLockWaitMs);
    auto bytes = readAll(fd.get());
    if (!bytes)
        return failed(errno);
    return bytes;
}

bool rewrite(const QByteArray &target, const std::function<QByteArray(QByteArrayView)> &change, QByteArray *written,
             int *error, const std::atomic<bool> *giveUp)
{
    Descriptor locked;
    bool created = false;
    if (!openLocked(target, locked, created, error, giveUp))
        return false;
    const auto failed = [&](int reason) {
        if (created)
            removeCreated(target, locked.get());
        return fail(error, reason);
    };
    struct stat current {};
    if (::fstat(locked.get(), &current) != 0)
        return failed(errno);
    // A read-only file stays unwritten, as it does for the sibling programs,
    // even for a user the system would let through.
    if ((current.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return failed(kReadOnlyFile);
    if (::access(target.constData(), W_OK) != 0)
        return failed(errno);
    const auto before = readAll(locked.get());
    if (!before)
        return failed(errno);
    QByteArray after = change(*before);
    if (after == *before) {
        if (created)
            removeCreated(target, locked.get());
        if (written)
            *written = std::move(after);
        return true;
    }
    removeStaleTemporaries(folderOf(target), fileNameOf(target));
    QByteArray stored = after;
    if (!replaceAtomically(target, locked.get(), current, after, nullptr)
        && !rewriteInPlace(target, current, *before, after, &stored, error)) {
        if (created)
            removeCreated(target, locked.get());
        return false;
    }
    if (written)
        *written = std::move(stored);
    return true;
}

bool isTemporaryCopyName(QByteArrayView candidate, QByteArrayView fileName)
{
    const qsizetype expected = 1 + fileName.size() + kTemporarySuffix.size();
    return candidate.size() == expected && candidate.startsWith('.') && candidate.sliced(1, fileName.size()) == fileName
        && candidate[1 + fileName.size()] == '.';
}

QByteArray paddedToLength(QByteArrayView text, qsizetype length)
{
    QByteArray padded = text.toByteArray();
    qsizetype missing = length - padded.size();
    // A blank at the end of a last line without its line end is lost on
    // reading; the rest are empty lines.
    if (missing % 2 != 0) {
        padded += ' ';
        --missing;
    }
    while (missing > 0) {
        padded += "\r\n";
        missing -= 2;
    }
    return padded;
}

} // namespace LockedFile

} // namespace movan
