#include "platform/locked_file.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace movan {

namespace {

constexpr QByteArrayView kTemporarySuffix = ".XXXXXX";

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

std::optional<QByteArray> readAll(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(chunk, got);
    }
}

bool writeAllAt(int fd, QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(fd, bytes.data() + done, size_t(bytes.size() - done), off_t(done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
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

// Opens the file and holds its exclusive lock. A writer that replaced the
// file while this one waited leaves the lock on a file no longer in place:
// then the new one is opened and locked instead.
bool openLocked(const QByteArray &target, Descriptor &fd)
{
    for (;;) {
        fd.reset(retryOnSignal([&] { return ::open(target.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); }));
        if (!fd.valid() && errno == ENOENT) {
            fd.reset(retryOnSignal([&] {
                return ::open(target.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            }));
            if (!fd.valid() && errno == EEXIST)
                continue;
        }
        if (!fd.valid())
            return false;
        if (retryOnSignal([&] { return ::flock(fd.get(), LOCK_EX); }) != 0)
            return false;
        struct stat held {
        }, named{};
        if (::fstat(fd.get(), &held) != 0)
            return false;
        if (::lstat(target.constData(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
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

bool replaceAtomically(const QByteArray &target, const struct stat &current, QByteArrayView bytes)
{
    const QByteArray folder = folderOf(target);
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return false;
    QByteArray temp = folder + "/." + fileNameOf(target) + kTemporarySuffix.toByteArray();
    // Created readable by this user only: it holds the password from the start.
    Descriptor fd(::mkstemp(temp.data()));
    if (!fd.valid())
        return false;
    const bool ok = ::fchown(fd.get(), current.st_uid, current.st_gid) == 0 && writeAllAt(fd.get(), bytes)
        && ::fsync(fd.get()) == 0 && ::fchmod(fd.get(), current.st_mode & 07777) == 0;
    fd.reset();
    // In a sticky folder the rename fails for a file of another user.
    if (!ok || ::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    Descriptor folderFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.valid())
        ::fsync(folderFd.get());
    return true;
}

bool rewriteInPlace(const QByteArray &target, QByteArrayView bytes)
{
    Descriptor fd(retryOnSignal([&] { return ::open(target.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC); }));
    return fd.valid() && writeAllAt(fd.get(), bytes) && ::ftruncate(fd.get(), off_t(bytes.size())) == 0
        && ::fsync(fd.get()) == 0;
}

} // namespace

namespace LockedFile {

std::optional<QByteArray> read(const QByteArray &path)
{
    Descriptor fd(retryOnSignal([&] { return ::open(path.constData(), O_RDONLY | O_CLOEXEC); }));
    if (!fd.valid())
        return std::nullopt;
    retryOnSignal([&] { return ::flock(fd.get(), LOCK_SH); });
    return readAll(fd.get());
}

bool rewrite(const QByteArray &target, const std::function<QByteArray(QByteArrayView)> &change, QByteArray *written)
{
    Descriptor locked;
    if (!openLocked(target, locked))
        return false;
    struct stat current {};
    if (::fstat(locked.get(), &current) != 0 || !S_ISREG(current.st_mode))
        return false;
    // A read-only file stays unwritten, as it does for the sibling programs,
    // even for a user the system would let through.
    if ((current.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.constData(), W_OK) != 0)
        return false;
    const auto before = readAll(locked.get());
    if (!before)
        return false;
    QByteArray after = change(*before);
    removeStaleTemporaries(folderOf(target), fileNameOf(target));
    if (!replaceAtomically(target, current, after) && !rewriteInPlace(target, after))
        return false;
    if (written)
        *written = std::move(after);
    return true;
}

bool isTemporaryCopyName(QByteArrayView candidate, QByteArrayView fileName)
{
    const qsizetype expected = 1 + fileName.size() + kTemporarySuffix.size();
    return candidate.size() == expected && candidate.startsWith('.') && candidate.sliced(1, fileName.size()) == fileName
        && candidate[1 + fileName.size()] == '.';
}

} // namespace LockedFile

} // namespace movan
