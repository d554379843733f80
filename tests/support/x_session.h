#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A private X server (Xvfb) with a small window manager (openbox) for tests
// that run the real program: windows get minimised, restored and activated
// as on a desktop. Each session also has a runtime folder of its own, so
// that the programs' per-user locks meet nothing outside the test.
class XSession {
public:
    XSession();
    ~XSession();

    bool isReady() const { return m_ready; }
    QString display() const { return m_display; }
    QString runtimeDir() const { return m_runtimeDir.path(); }
    // For the programs started in the session.
    QProcessEnvironment environment() const;

    // Starts a program in the session; the caller owns the process.
    std::unique_ptr<QProcess> start(const QString &program, const QProcessEnvironment &extra = {},
                                    const QStringList &arguments = {}) const;

    // Visible top-level windows whose name is exactly `name`.
    QStringList windowsNamed(const QString &name) const;
    // Waits until exactly `count` such windows are visible; on time-out says
    // on standard error which windows there are.
    bool waitForWindows(const QString &name, int count, int timeoutMs = 20000) const;
    // "Normal", "Iconic" or "Withdrawn", from the window manager's WM_STATE.
    QString windowState(const QString &windowId) const;
    bool waitForWindowState(const QString &windowId, const QString &state, int timeoutMs = 5000) const;
    QString activeWindow() const;
    // Every named window with its process and state, for failure messages.
    QString describeWindows() const;
    bool waitForActiveWindow(const QString &windowId, int timeoutMs = 5000) const;
    void minimize(const QString &windowId) const;
    void activate(const QString &windowId) const;

    // Runs an X tool (xdotool, xprop) in the session and returns its output.
    QString tool(const QString &program, const QStringList &arguments) const;

private:
    QString tool(const QString &program, const QStringList &arguments, int timeoutMs) const;
    bool startServer();
    bool startWindowManager();
    void stop();

    QTemporaryDir m_runtimeDir;
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    bool m_ready = false;
};
