#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace movan::test {

// A server that takes the connection and then says nothing, until told to
// hang up: the window's call is under way for as long as the test wants.
class SilentServer : public QTcpServer {
public:
    SilentServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            m_client = nextPendingConnection();
            if (onConnection)
                onConnection();
        });
    }
    QString dataSource() const { return QStringLiteral("127.0.0.1,%1").arg(serverPort()); }
    void hangUp()
    {
        if (m_client)
            m_client->abort();
    }

    std::function<void()> onConnection;

private:
    QTcpSocket *m_client = nullptr;
};

} // namespace movan::test
