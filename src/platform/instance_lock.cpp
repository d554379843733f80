#include "platform/instance_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace movan {

namespace {

// File names stay well below the 255-byte limit; longer names keep a
// readable start and end in a digest so that two titles never share a file.
constexpr int kMaxReadableName = 160;

int openLockFile(const QString &objectName)
{
    const QByteArray path = QFile::encodeName(perUserObjectPath(objectName));
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void closeDescriptor(int fd)
{
    // close() is never retried on Linux: the descriptor is gone either way.
    ::close(fd);
}

struct flock byteRange(short type, off_t start, off_t length)
{
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = start;
    range.l_len = length;
    return range;
}

} // namespace

QString perUserRuntimeFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

QString perUserObjectPath(const QString &objectName)
{
    const QString folder = perUserRuntimeFolder();
    QString fileName = QString::fromLatin1(QUrl::toPercentEncoding(objectName, " "));
    if (fileName.size() > kMaxReadableName) {
        const QByteArray digest = QCryptographicHash::hash(objectName.toUtf8(), QCryptographicHash::Sha256).toHex();
        fileName = fileName.left(kMaxReadableName - 64) + QString::fromLatin1(digest);
    }
    return QDir(folder).filePath(fileName + QStringLiteral(".lock"));
}

namespace {

// The descriptor holding the lock; -1 when it is not to be had.
int lockExclusively(const QString &objectName, int how)
{
    const int fd = openLockFile(objectName);
    if (fd < 0)
        return -1;
    int rc;
    do {
        rc = ::flock(fd, how);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        closeDescriptor(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::unique_ptr<InstanceLock> InstanceLock::tryAcquire(const QString &objectName)
{
    const int fd = lockExclusively(objectName, LOCK_EX | LOCK_NB);
    return fd >= 0 ? std::unique_ptr<InstanceLock>(new InstanceLock(fd)) : nullptr;
}

std::unique_ptr<InstanceLock> InstanceLock::acquireWaiting(const QString &objectName)
{
    const int fd = lockExclusively(objectName, LOCK_EX);
    return fd >= 0 ? std::unique_ptr<InstanceLock>(new InstanceLock(fd)) : nullptr;
}

InstanceLock::~InstanceLock()
{
    closeDescriptor(m_fd);
}

std::unique_ptr<InstanceSemaphore> InstanceSemaphore::acquire(const QString &objectName)
{
    const int fd = openLockFile(objectName);
    if (fd < 0)
        return nullptr;
    const int probeFd = openLockFile(objectName);
    if (probeFd < 0) {
        closeDescriptor(fd);
        return nullptr;
    }
    // Open-file-description locks, unlike classic record locks, also
    // conflict within one process, so holders() counts this copy's own unit.
    for (int slot = 0; slot < kInstanceUnits; ++slot) {
        struct flock range = byteRange(F_WRLCK, slot, 1);
        if (::fcntl(fd, F_OFD_SETLK, &range) == 0)
            return std::unique_ptr<InstanceSemaphore>(new InstanceSemaphore(fd, probeFd));
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            break;
    }
    // Every unit taken: wait without time-out for the first one to come free.
    struct flock first = byteRange(F_WRLCK, 0, 1);
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLKW, &first);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0)
        return std::unique_ptr<InstanceSemaphore>(new InstanceSemaphore(fd, probeFd));
    closeDescriptor(probeFd);
    closeDescriptor(fd);
    return nullptr;
}

InstanceSemaphore::~InstanceSemaphore()
{
    closeDescriptor(m_probeFd);
    closeDescriptor(m_fd);
}

int InstanceSemaphore::holders() const
{
    // A query reports one held slot in its range, not necessarily the
    // lowest, so each answer splits the range in two: the walk costs about
    // two calls per holder rather than one per unit.
    int count = 0;
    std::vector<std::pair<off_t, off_t>> ranges{{0, kInstanceUnits}}; // [first, end)
    while (!ranges.empty()) {
        const auto [first, end] = ranges.back();
        ranges.pop_back();
        if (first >= end)
            continue;
        struct flock range = byteRange(F_WRLCK, first, end - first);
        int rc;
        do {
            rc = ::fcntl(m_probeFd, F_OFD_GETLK, &range);
        } while (rc < 0 && errno == EINTR);
        if (rc < 0 || range.l_type == F_UNLCK)
            continue;
        ++count;
        const off_t heldEnd = range.l_len == 0 ? end : range.l_start + range.l_len;
        ranges.emplace_back(first, std::max(first, range.l_start));
        ranges.emplace_back(std::min(end, heldEnd), end);
    }
    return count;
}

} // namespace movan
