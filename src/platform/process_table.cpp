#include "platform/process_table.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <csignal>

namespace movan {

namespace {

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return file.readAll();
}

// A process that has ended but is not yet reaped is no longer running.
bool hasEnded(const QByteArray &stat)
{
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return true;
    const char state = stat[close + 2];
    return state == 'Z' || state == 'X' || state == 'x';
}

} // namespace

QString executableFileName(const QByteArray &cmdline, const QByteArray &comm)
{
    const qsizetype end = cmdline.indexOf('\0');
    const QByteArray argv0 = end < 0 ? cmdline : cmdline.left(end);
    const qsizetype slash = std::max(argv0.lastIndexOf('/'), argv0.lastIndexOf('\\'));
    const QByteArray name = argv0.mid(slash + 1);
    if (!name.isEmpty())
        return QString::fromLocal8Bit(name);
    QByteArray shortName = comm;
    while (shortName.endsWith('\n'))
        shortName.chop(1);
    return QString::fromLocal8Bit(shortName);
}

QList<ProcessEntry> processSnapshot()
{
    QList<ProcessEntry> entries;
    const QStringList names = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool isNumber = false;
        const long pid = name.toLong(&isNumber);
        if (!isNumber || pid <= 0)
            continue;
        const QString dir = QStringLiteral("/proc/") + name;
        const QByteArray comm = readProcFile(dir + QStringLiteral("/comm"));
        // Gone between the listing and the read, or ended.
        if (comm.isEmpty() || hasEnded(readProcFile(dir + QStringLiteral("/stat"))))
            continue;
        entries.append({pid_t(pid), executableFileName(readProcFile(dir + QStringLiteral("/cmdline")), comm)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const ProcessEntry &a, const ProcessEntry &b) { return a.pid < b.pid; });
    return entries;
}

bool terminateProcess(pid_t pid)
{
    return pid > 0 && ::kill(pid, SIGKILL) == 0;
}

} // namespace movan
