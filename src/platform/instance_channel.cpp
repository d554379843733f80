#include "platform/instance_channel.h"

#include "platform/instance_lock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSet>
#include <QTimer>

namespace movan {

namespace {

constexpr int kConnectTimeoutMs = 1000;
// A copy that does not serve its title yet takes over when the serving copy ends.
constexpr int kTakeOverIntervalMs = 250;

const QByteArray kActivateLine = QByteArrayLiteral("activate\n");
const QByteArray kQuitLine = QByteArrayLiteral("quit\n");

// Socket paths are limited to about a hundred bytes, so the title travels as
// a digest; the lock file beside it keeps the readable name.
QString socketPath(const QString &title)
{
    const QByteArray digest = QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return QDir(perUserRuntimeFolder()).filePath(QStringLiteral("movan-window-") + QString::fromLatin1(digest));
}

QString serverLockName(const QString &title)
{
    return QStringLiteral("Application window of ") + title;
}

// Titles this process serves itself; the channel lives on the user-interface thread.
QSet<QString> &servedTitles()
{
    static QSet<QString> titles;
    return titles;
}

} // namespace

InstanceChannel::InstanceChannel(const QString &title, QObject *parent)
    : QObject(parent)
    , m_title(title)
{
    tryToServe();
    if (!isServing()) {
        m_retry = new QTimer(this);
        m_retry->setInterval(kTakeOverIntervalMs);
        connect(m_retry, &QTimer::timeout, this, &InstanceChannel::tryToServe);
        m_retry->start();
    }
}

InstanceChannel::~InstanceChannel()
{
    if (isServing()) {
        m_server->close();
        servedTitles().remove(m_title);
    }
}

bool InstanceChannel::isServing() const
{
    return m_server && m_server->isListening();
}

void InstanceChannel::tryToServe()
{
    m_serverLock = InstanceLock::tryAcquire(serverLockName(m_title));
    if (!m_serverLock)
        return;
    // Holding the lock means no living copy serves the name, so a socket
    // file left behind is a dead copy's and may go.
    const QString path = socketPath(m_title);
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        m_serverLock.reset();
        return;
    }
    servedTitles().insert(m_title);
    if (m_retry)
        m_retry->stop();
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                while (client->canReadLine()) {
                    const QByteArray line = client->readLine();
                    if (line == kActivateLine)
                        emit activateRequested();
                    else if (line == kQuitLine)
                        emit quitRequested();
                }
            });
        }
    });
}

bool InstanceChannel::otherCopyAnswers(const QString &title)
{
    if (servedTitles().contains(title))
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath(title));
    return socket.waitForConnected(kConnectTimeoutMs);
}

bool InstanceChannel::send(const QString &title, Request request)
{
    if (servedTitles().contains(title))
        return false;
    QLocalSocket socket;
    socket.connectToServer(socketPath(title));
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(request == Request::Activate ? kActivateLine : kQuitLine);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kConnectTimeoutMs))
            return false;
    }
    socket.disconnectFromServer();
    return true;
}

} // namespace movan
