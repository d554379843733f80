#include "support/x_session.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kWindowManagerTimeoutMs = 5000;
constexpr int kStartAttempts = 4;
constexpr int kFirstDisplay = 400;
constexpr int kDisplayRange = 500;
constexpr int kDisplayTries = 10;
// Questions to a server or manager that is still starting get a short time.
constexpr int kProbeTimeoutMs = 2000;
constexpr int kPollMs = 50;

template <class Condition> bool waitFor(Condition condition, int timeoutMs)
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
    if (!m_runtimeDir.isValid()) {
        std::fprintf(stderr, "no runtime folder for the X session\n");
        return;
    }
    // Now and then a fresh openbox never takes over the screen on a busy
    // machine; a second server and window manager do.
    for (int attempt = 1; attempt <= kStartAttempts && !m_ready; ++attempt) {
        if (!startServer()) {
            std::fprintf(stderr, "Xvfb did not start: %s\n", qPrintable(m_server.errorString()));
        } else if (!startWindowManager()) {
            std::fprintf(stderr, "openbox did not manage %s (%s)\n", qPrintable(m_display),
                         m_windowManager.state() == QProcess::Running ? "running" : "ended");
        } else {
            m_ready = true;
            break;
        }
        stop();
    }
}

XSession::~XSession()
{
    stop();
}

void XSession::stop()
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
    // A display number of its own, from a range nothing else here picks,
    // so that a session never reuses the number of one that just ended.
    // -displayfd 1: the server writes the number once it accepts clients,
    // and ends at once when the number is taken.
    for (int tries = 0; tries < kDisplayTries; ++tries) {
        const int display = kFirstDisplay + int(QRandomGenerator::global()->bounded(kDisplayRange));
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start(QStringLiteral("Xvfb"),
                       {QStringLiteral(":%1").arg(display), QStringLiteral("-displayfd"), QStringLiteral("1"),
                        QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_server.waitForStarted(kStartTimeoutMs))
            return false;
        QDeadlineTimer deadline(kStartTimeoutMs);
        QByteArray output;
        while (!output.contains('\n') && m_server.state() == QProcess::Running && !deadline.hasExpired()) {
            m_server.waitForReadyRead(kPollMs);
            output += m_server.readAllStandardOutput();
        }
        if (output.contains('\n')) {
            m_display = QStringLiteral(":") + QString::fromLatin1(output.trimmed());
            return true;
        }
        stop();
    }
    return false;
}

bool XSession::startWindowManager()
{
    m_windowManager.setProcessEnvironment(environment());
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.setStandardErrorFile(QProcess::nullDevice());
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_windowManager.waitForStarted(kStartTimeoutMs))
        return false;
    const bool announced = waitFor(
        [this] {
            return tool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
                        kProbeTimeoutMs)
                .contains(QLatin1String("window id"));
        },
        kWindowManagerTimeoutMs);
    if (!announced)
        return false;
    // Announcing itself is not yet handling requests: the manager must have
    // reached its event loop, shown by its answer to a request (one desktop
    // is all the tests need).
    return waitFor(
        [this] {
            if (tool(QStringLiteral("xdotool"), {QStringLiteral("get_num_desktops")}, kProbeTimeoutMs).trimmed()
                == QLatin1String("1"))
                return true;
            // Asked again each time: until the manager lists what it supports,
            // xdotool does not send the request at all.
            tool(QStringLiteral("xdotool"), {QStringLiteral("set_num_desktops"), QStringLiteral("1")}, kProbeTimeoutMs);
            return false;
        },
        kWindowManagerTimeoutMs);
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
    return tool(program, arguments, kStartTimeoutMs);
}

QString XSession::tool(const QString &program, const QStringList &arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList XSession::windowsNamed(const QString &name) const
{
    const QString pattern = exactNamePattern(name);
    return tool(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool XSession::waitForWindows(const QString &name, int count, int timeoutMs) const
{
    if (waitFor([&] { return windowsNamed(name).size() == count; }, timeoutMs))
        return true;
    // Say what there is instead, for whoever reads the failed test's output.
    std::fprintf(stderr, "expected %d window(s) named \"%s\"; the session has:\n%s\n", count, qPrintable(name),
                 qPrintable(describeWindows()));
    return false;
}

QString XSession::describeWindows() const
{
    QString description;
    for (const QString &window :
         tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral(".")})
             .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        description += tool(QStringLiteral("xprop"),
                            {QStringLiteral("-id"), window, QStringLiteral("WM_NAME"), QStringLiteral("_NET_WM_PID"),
                             QStringLiteral("WM_STATE")});
    }
    return description;
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
