#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace movan {

// One TDS session with a SQL Server through FreeTDS's db-lib. Calls block and
// throw DatabaseError; a session is used by one thread at a time.

struct TdsLogin {
    QString server; // as db-lib takes it: "host", "host:port" or "host\instance"
    QString host; // for the Kerberos service principal
    int port = 0; // 0 when the port comes from the instance lookup
    QString user; // ignored for an integrated login
    QString password;
    bool integrated = false; // Kerberos, as Windows authentication is on Linux
    QString database;
    QString workstation;
    QString appName;
    int packetSize = 0;
    int loginTimeoutSeconds = 15;
};

struct TdsMessage {
    int number = 0;
    int state = 0;
    int severity = 0;
    int line = 0;
    QString text;
    QString server;
    QString procedure;
};

struct TdsParameter {
    QString name; // with its '@'
    QString value;
    bool isNull = false;
    int maxChars = 0; // declared size; 0: as long as the value
};

// A result set. Values are typed as the server sent them, never as text the
// client library formatted in the process's locale: integers as qlonglong,
// numeric without decimals as qlonglong (with decimals, and floats, as
// double), bit as bool, date and time types as QDateTime (QDate, QTime for
// date and time alone; offsets kept), binary as QByteArray, the rest as
// QString; NULL as an invalid QVariant.
struct TdsResult {
    QStringList columns;
    QList<QList<QVariant>> rows;
};

class FreeTdsSession {
public:
    using MessageHandler = std::function<void(const TdsMessage &)>;

    // Process-wide start-up of the client library; called once at program
    // start and safe to call again.
    static void initializeLibrary();
    // Its counterpart at program end; sessions still open are closed.
    static void finalizeLibrary();

    explicit FreeTdsSession(const TdsLogin &login);
    ~FreeTdsSession();
    FreeTdsSession(const FreeTdsSession &) = delete;
    FreeTdsSession &operator=(const FreeTdsSession &) = delete;

    // Runs a batch, or an sp_executesql call when there are parameters, and
    // returns every result set. onInfo receives the informational messages
    // (severity 10 and below) as they arrive. timeoutSeconds 0 waits as long
    // as the server works. A failure the server did not report itself, once
    // the request was handed to the connection, is thrown with its outcome
    // unknown: the server may have run it.
    QList<TdsResult> execute(const QString &sql, const QList<TdsParameter> &parameters, int timeoutSeconds,
                             const MessageHandler &onInfo);

    // Whether the connection is known to be gone (a call found it broken).
    bool connectionLost() const;
    // Whether the server has ended this idle session: a server says nothing
    // between requests, so anything waiting to be read (the end of the
    // stream, a reset, a closing TLS alert) means it closed the connection.
    bool endedByServer() const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace movan
