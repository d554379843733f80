#include "backup/verified_record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace movan {

namespace {

// The record's largest size: far beyond any folder of backups, small enough
// that a stray file of that name is not read whole.
constexpr qint64 kMaxRecordBytes = qint64{4} * 1024 * 1024;

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool isPlainFile(const QFileInfo &info)
{
    return info.isFile() && !info.isSymLink();
}

QMap<QString, qint64> readRecord(const QDir &dir)
{
    const QFileInfo info(dir.filePath(kVerifiedRecordName));
    if (!isPlainFile(info) || info.size() > kMaxRecordBytes)
        return {};
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseVerifiedRecord(file.readAll());
}

// An exclusive lock on the folder itself for the life of the object: no
// file of its own to leave behind.
class FolderLock {
public:
    explicit FolderLock(const QString &folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

QMap<QString, qint64> parseVerifiedRecord(const QByteArray &text)
{
    QMap<QString, qint64> entries;
    for (const QByteArray &line : text.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        bool ok = false;
        const qint64 size = line.left(tab).toLongLong(&ok);
        const QString name = QString::fromUtf8(line.mid(tab + 1));
        // A name is a name in the folder, never a path elsewhere.
        if (!ok || size < 0 || name.isEmpty() || name.contains(u'/') || name == QStringLiteral(".")
            || name == QStringLiteral(".."))
            continue;
        entries.insert(name, size);
    }
    return entries;
}

QByteArray verifiedRecordText(const QMap<QString, qint64> &entries)
{
    QByteArray text;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.key().contains(u'\n'))
            continue;
        text += QByteArray::number(it.value()) + '\t' + it.key().toUtf8() + '\n';
    }
    return text;
}

QSet<QString> verifiedBackups(const QString &folder)
{
    const QDir dir(folder);
    QSet<QString> verified;
    const QMap<QString, qint64> entries = readRecord(dir);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QFileInfo info(dir.filePath(it.key()));
        if (isPlainFile(info) && info.size() == it.value())
            verified.insert(it.key());
    }
    return verified;
}

std::optional<QString> recordVerification(const QString &folder, const QString &fileName, bool verified)
{
    const QDir dir(folder);
    const FolderLock lock(folder);
    if (!lock.held())
        return systemReason();
    QMap<QString, qint64> entries = readRecord(dir);
    for (auto it = entries.begin(); it != entries.end();) {
        const QFileInfo info(dir.filePath(it.key()));
        it = isPlainFile(info) ? std::next(it) : entries.erase(it);
    }
    entries.remove(fileName);
    const QFileInfo written(dir.filePath(fileName));
    if (verified && isPlainFile(written))
        entries.insert(fileName, written.size());
    QSaveFile file(dir.filePath(kVerifiedRecordName));
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(verifiedRecordText(entries));
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace movan
