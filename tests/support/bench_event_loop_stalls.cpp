#include "support/bench_event_loop_stalls.h"

#include <QFile>
#include <QMap>

#include <algorithm>
#include <chrono>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kTickMs = 5;
// How often the helper thread looks at a stalled thread, and how long a
// turn may be late before it does.
constexpr auto kSampleEvery = std::chrono::milliseconds(1);
constexpr qint64 kSampleAfterMs = 7;

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ? file.read(4096) : QByteArray();
}

// The names of the system calls a window's thread can be found asleep in,
// by their numbers on x86-64; others by number.
QString syscallName(long number)
{
    static const QMap<long, QString> names = {
        {0, QStringLiteral("read")},         {1, QStringLiteral("write")},
        {3, QStringLiteral("close")},        {7, QStringLiteral("poll")},
        {9, QStringLiteral("mmap")},         {11, QStringLiteral("munmap")},
        {17, QStringLiteral("pread64")},     {18, QStringLiteral("pwrite64")},
        {35, QStringLiteral("nanosleep")},   {61, QStringLiteral("wait4")},
        {62, QStringLiteral("kill")},        {74, QStringLiteral("fsync")},
        {75, QStringLiteral("fdatasync")},   {76, QStringLiteral("truncate")},
        {77, QStringLiteral("ftruncate")},   {82, QStringLiteral("rename")},
        {87, QStringLiteral("unlink")},      {202, QStringLiteral("futex")},
        {217, QStringLiteral("getdents64")}, {230, QStringLiteral("clock_nanosleep")},
        {232, QStringLiteral("epoll_wait")}, {257, QStringLiteral("openat")},
        {262, QStringLiteral("newfstatat")}, {263, QStringLiteral("unlinkat")},
        {264, QStringLiteral("renameat")},   {271, QStringLiteral("ppoll")},
        {316, QStringLiteral("renameat2")},  {332, QStringLiteral("statx")},
    };
    return names.value(number, QString::number(number));
}

// The steal column of the first line of /proc/stat, in milliseconds.
qint64 stolenMilliseconds()
{
    const QByteArray stat = readProcFile(QStringLiteral("/proc/stat"));
    const QList<QByteArray> fields = stat.left(stat.indexOf('\n')).simplified().split(' ');
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    return fields.size() > 8 && ticksPerSecond > 0 ? fields[8].toLongLong() * 1000 / ticksPerSecond : 0;
}

} // namespace

EventLoopStalls::EventLoopStalls(qint64 listedMs)
    : m_listedMs(listedMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &EventLoopStalls::tick);
}

EventLoopStalls::~EventLoopStalls()
{
    stop();
}

void EventLoopStalls::start()
{
    m_threadId = int(::syscall(SYS_gettid));
    m_stalls.clear();
    m_samples.clear();
    m_clock.start();
    m_lastTickMs = 0;
    m_sharedLastTickMs = 0;
    m_lastCpuNs = -1;
    tick();
    m_sampling = true;
    m_sampler = std::thread([this] { sampleWhileStalled(); });
    m_timer.start();
}

void EventLoopStalls::stop()
{
    m_timer.stop();
    m_sampling = false;
    if (m_sampler.joinable())
        m_sampler.join();
}

void EventLoopStalls::tick()
{
    const qint64 now = m_clock.elapsed();
    // Time on the processor and time ready to run but waiting for one, in
    // nanoseconds, as the scheduler counts them for this thread.
    const QList<QByteArray> schedule
        = readProcFile(QStringLiteral("/proc/self/task/%1/schedstat").arg(m_threadId)).trimmed().split(' ');
    const qint64 cpuNs = schedule.size() >= 2 ? schedule[0].toLongLong() : 0;
    const qint64 waitNs = schedule.size() >= 2 ? schedule[1].toLongLong() : 0;
    const qint64 stolenMs = stolenMilliseconds();
    if (m_lastCpuNs >= 0 && now - m_lastTickMs > m_listedMs) {
        Stall stall;
        stall.endedMs = now;
        stall.lengthMs = now - m_lastTickMs;
        stall.onCpuMs = (cpuNs - m_lastCpuNs) / 1000000;
        stall.waitingForCpuMs = (waitNs - m_lastWaitNs) / 1000000;
        stall.stolenMs = stolenMs - m_lastStolenMs;
        QMap<QString, int> counts;
        {
            const std::lock_guard lock(m_samplesMutex);
            for (const Sample &sample : m_samples)
                if (sample.atMs >= m_lastTickMs && sample.atMs <= now)
                    ++counts[sample.what];
        }
        QList<std::pair<int, QString>> ordered;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            ordered.append({it.value(), it.key()});
        std::sort(ordered.begin(), ordered.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
        QStringList parts;
        for (const auto &[count, what] : ordered)
            parts.append(QStringLiteral("%1 x%2").arg(what).arg(count));
        stall.samples = parts.join(QStringLiteral(", "));
        m_stalls.push_back(stall);
    }
    m_lastTickMs = now;
    m_sharedLastTickMs = now;
    m_lastCpuNs = cpuNs;
    m_lastWaitNs = waitNs;
    m_lastStolenMs = stolenMs;
}

void EventLoopStalls::sampleWhileStalled()
{
    const QString task = QStringLiteral("/proc/self/task/%1/").arg(m_threadId);
    while (m_sampling) {
        std::this_thread::sleep_for(kSampleEvery);
        const qint64 now = m_clock.elapsed();
        if (now - m_sharedLastTickMs < kSampleAfterMs)
            continue;
        // The state is the letter after the command's closing parenthesis;
        // the first number of "syscall" is the call it sleeps in, or
        // "running" when it runs its own code.
        const QByteArray stat = readProcFile(task + QStringLiteral("stat"));
        const qsizetype close = stat.lastIndexOf(')');
        const char state = close >= 0 && close + 2 < stat.size() ? stat[close + 2] : '?';
        const QByteArray call = readProcFile(task + QStringLiteral("syscall")).trimmed();
        QString what = QString(QChar::fromLatin1(state)) + u' ';
        if (call.startsWith("running") || call.isEmpty())
            what += QStringLiteral("user");
        else
            what += syscallName(call.split(' ').constFirst().toLong());
        const QByteArray sleepsIn = readProcFile(task + QStringLiteral("wchan")).trimmed();
        if (!sleepsIn.isEmpty() && sleepsIn != "0")
            what += QStringLiteral(" [%1]").arg(QString::fromLatin1(sleepsIn));
        const std::lock_guard lock(m_samplesMutex);
        m_samples.push_back({now, what});
    }
}

EventLoopStalls::Stall EventLoopStalls::longestBetween(qint64 fromMs, qint64 toMs) const
{
    Stall longest;
    for (const Stall &stall : m_stalls) {
        if (stall.endedMs <= fromMs || stall.endedMs - stall.lengthMs >= toMs)
            continue;
        if (stall.lengthMs > longest.lengthMs)
            longest = stall;
    }
    return longest;
}
