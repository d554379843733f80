#include "support/x_session.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kPollMs = 50;

template <class Condition>
bool waitFor(Condition condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollMs);
    }
    return true;
}

// xdotool takes a POSIX extended regular expression.
QString exactNamePattern(const QString &name)
{
    QString pattern = QStringLiteral("^");
    for (QChar c : name) {
        if (QStringLiteral(".[]{}()\\*+?|^$").contains(c))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern + QLatin1Char('$');
}

} // namespace

XSession::XSession()
{
    m_ready = m_runtimeDir.isValid() && startServer() && startWindowManager();
}

XSession::~XSession()
{
    for (QProcess *process : {&m_windowManager, &m_server}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
}

bool XSession::startServer()
{
    // -displayfd 1: the server picks a free display and writes its number
    // to standard output once it accepts clients.
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_server.waitForStarted(kStartTimeoutMs))
        return false;
    QDeadlineTimer deadline(kStartTimeoutMs);
    QByteArray output;
    while (!output.contains('\n')) {
        if (deadline.hasExpired() || m_server.state() != QProcess::Running)
            return false;
        m_server.waitForReadyRead(kPollMs);
        output += m_server.readAllStandardOutput();
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(output.trimmed());
    return true;
}

bool XSession::startWindowManager()
{
    m_windowManager.setProcessEnvironment(environment());
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.setStandardErrorFile(QProcess::nullDevice());
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_windowManager.waitForStarted(kStartTimeoutMs))
        return false;
    return waitFor([this] {
        return tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
            .contains(QLatin1String("window id"));
    }, kStartTimeoutMs);
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir.path());
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("XAUTHORITY"));
    // In a sanitizer build, what the system's libraries (D-Bus, fontconfig)
    // keep until exit would turn every program's exit code into 1; the
    // tests judge those exit codes.
    if (!env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return env;
}

std::unique_ptr<QProcess> XSession::start(const QString &program, const QProcessEnvironment &extra,
                                          const QStringList &arguments) const
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = environment();
    for (const QString &key : extra.keys())
        env.insert(key, extra.value(key));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(program, arguments);
    process->waitForStarted(kStartTimeoutMs);
    return process;
}

QString XSession::tool(const QString &program, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    if (!process.waitForFinished(kStartTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList XSession::windowsNamed(const QString &name) const
{
    const QString pattern = exactNamePattern(name);
    return tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                            QStringLiteral("--name"), pattern})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool XSession::waitForWindows(const QString &name, int count, int timeoutMs) const
{
    return waitFor([&] { return windowsNamed(name).size() == count; }, timeoutMs);
}

QString XSession::windowState(const QString &windowId) const
{
    const QString output = tool(QStringLiteral("xprop"), {QStringLiteral("-id"), windowId, QStringLiteral("WM_STATE")});
    for (const char *state : {"Normal", "Iconic", "Withdrawn"})
        if (output.contains(QLatin1String("window state: ") + QLatin1String(state)))
            return QString::fromLatin1(state);
    return {};
}

bool XSession::waitForWindowState(const QString &windowId, const QString &state, int timeoutMs) const
{
    return waitFor([&] { return windowState(windowId) == state; }, timeoutMs);
}

QString XSession::activeWindow() const
{
    return tool(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}).trimmed();
}

bool XSession::waitForActiveWindow(const QString &windowId, int timeoutMs) const
{
    return waitFor([&] { return activeWindow() == windowId; }, timeoutMs);
}

void XSession::minimize(const QString &windowId) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), windowId});
}

void XSession::activate(const QString &windowId) const
{
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), windowId});
}
