#include "platform/executable_path.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace movan {

namespace {

// The kernel's mark on the link of an executable whose file was removed or
// replaced since it started.
constexpr QStringView kReplacedMark = u" (deleted)";

QString readExecutableLink()
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink("/proc/self/exe", target.data(), size_t(target.size()));
    if (length <= 0 || length >= target.size())
        return {};
    target.truncate(length);
    QString path = QFile::decodeName(target);
    if (path.endsWith(kReplacedMark) && !QFileInfo::exists(path))
        path.chop(kReplacedMark.size());
    return path;
}

QString findExecutable()
{
    QString path = readExecutableLink();
    if (path.isEmpty() && QCoreApplication::instance())
        path = QCoreApplication::applicationFilePath();
    return path;
}

} // namespace

QString executableFilePath()
{
    static const QString path = findExecutable();
    return path;
}

QString executableDirectory()
{
    static const QString folder = [] {
        const QString path = executableFilePath();
        // Without a known executable the working directory is the only
        // folder left; the file system's root never is.
        if (path.isEmpty())
            return QString();
        QString dir = QFileInfo(path).absolutePath();
        if (!dir.endsWith(u'/'))
            dir += u'/';
        return dir;
    }();
    return folder;
}

} // namespace movan
