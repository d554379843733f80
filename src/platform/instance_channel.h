#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QTimer;

namespace movan {

class InstanceLock;

// How one copy of the program finds another copy's application window and
// talks to it: a local socket named after the application title, in the
// user's runtime folder. One living copy per title serves the name; it holds
// a lock file while it does, so a crashed server's socket is taken over.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    enum class Request { Activate, Quit };

    explicit InstanceChannel(const QString &title, QObject *parent = nullptr);
    ~InstanceChannel() override;

    const QString &title() const { return m_title; }
    bool isServing() const;

    // The other copy's window for this title, as FindWindow would find it:
    // never this process's own channel.
    static bool otherCopyAnswers(const QString &title);
    // Delivers the request and returns once the other copy has it.
    static bool send(const QString &title, Request request);

signals:
    void activateRequested();
    void quitRequested();

private:
    void tryToServe();

    QString m_title;
    std::unique_ptr<InstanceLock> m_serverLock;
    QLocalServer *m_server = nullptr;
    QTimer *m_retry = nullptr;
};

} // namespace movan
