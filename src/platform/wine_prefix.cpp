#include "platform/wine_prefix.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace movan {

namespace {

// Whether another process holds a lock on the file, as a running wineserver
// holds one on the lock file of its folder for its whole life.
bool lockedByAnotherProcess(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool locked = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

// The folders a wineserver of the prefix works in: named after the prefix's
// device and inode, below the per-user folder, or below the private folder
// whose name the prefix's "wineserver" file gives.
QStringList serverFolders(const QString &prefix)
{
    struct stat info {};
    if (::stat(QFile::encodeName(prefix).constData(), &info) != 0)
        return {};
    const QString leaf
        = QStringLiteral("server-%1-%2").arg(qulonglong(info.st_dev), 0, 16).arg(qulonglong(info.st_ino), 0, 16);
    QStringList folders{QStringLiteral("/tmp/.wine-%1/").arg(::getuid()) + leaf};
    QFile pointer(prefix + QStringLiteral("/wineserver"));
    if (pointer.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromLocal8Bit(pointer.read(256)).trimmed();
        if (!name.isEmpty() && !name.contains(u'/') && name != u".." && name != u".")
            folders.append(QStringLiteral("/tmp/") + name + u'/' + leaf);
    }
    return folders;
}

} // namespace

WinePrefix WinePrefix::fromEnvironment()
{
    const QString configured = qEnvironmentVariable("WINEPREFIX");
    return WinePrefix(configured.isEmpty() ? QDir::homePath() + QStringLiteral("/.wine") : configured);
}

WinePrefix::WinePrefix(QString directory)
    : m_directory(std::move(directory))
{}

QString WinePrefix::machineHivePath() const
{
    return m_directory + QStringLiteral("/system.reg");
}

bool WinePrefix::serverRunning() const
{
    for (const QString &folder : serverFolders(m_directory)) {
        if (lockedByAnotherProcess(folder + QStringLiteral("/lock")))
            return true;
    }
    return false;
}

} // namespace movan
