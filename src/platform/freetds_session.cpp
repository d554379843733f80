#include "platform/freetds_session.h"

#include "platform/database_error.h"
#include "platform/encryption_probe.h"
#include "platform/kerberos_check.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <cerrno>
#include <cstdlib>
#include <list>
#include <mutex>
#include <poll.h>
#include <string>
#include <sybdb.h>
#include <sybfront.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace movan {

namespace {

// The wire type of NVARCHAR on TDS 7 and later; db-lib's header only names the
// Sybase types, but its parameters accept the server's.
constexpr int kNVarCharType = 231;

// Errors of the client library that only say "the server sent an error":
// the server's own message says more.
bool isMereEcho(int dbError)
{
    return dbError == SYBESMSG;
}

// db-lib's time-out and message settings are process-wide; calls are made
// one at a time, so a call sets them under this lock and keeps them for its
// own duration.
std::mutex &libraryMutex()
{
    static std::mutex mutex;
    return mutex;
}

// PRELOGIN's ENCRYPTION answer of a server without TLS.
constexpr int kServerCannotEncrypt = 2;

// What the user reads when the login would have to travel in clear text.
constexpr char kServerWillNotEncryptText[]
    = "سرور SQL «%1» اتصال رمزنگاری‌شده را نپذیرفت. برنامه نام کاربری و گذرواژه را بدون رمزنگاری نمی‌فرستد؛ "
      "رمزنگاری (TLS) را در سرور فعال کنید.";
constexpr char kEncryptionUnavailableText[]
    = "رمزنگاری اتصال به SQL Server در این رایانه آماده نشد؛ برنامه بدون رمزنگاری به سرور وصل نمی‌شود.";

// The library takes its encryption level only from its configuration file.
// Every login is to travel encrypted, whatever the computer's own file says,
// so the library reads a file of this program's own, held in memory: nothing
// on disk to change or to leave behind. "require" asks the server for TLS and
// gives up, before any login is sent, on a server that will not encrypt.
constexpr char kClientConfiguration[] = "[global]\n\tencryption = require\n";

void requireEncryptionForEveryLogin()
{
    static const std::string path = []() -> std::string {
        const int fd = ::memfd_create("movan-freetds.conf", MFD_CLOEXEC);
        if (fd < 0)
            return {};
        const std::size_t size = sizeof kClientConfiguration - 1;
        if (::write(fd, kClientConfiguration, size) != static_cast<ssize_t>(size)) {
            ::close(fd);
            return {};
        }
        // The process's id rather than "self": a child that inherits the
        // variable reads this same file, not a descriptor of its own.
        return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd);
    }();
    if (path.empty())
        throw DatabaseError(QString::fromUtf8(kEncryptionUnavailableText));
    // Set again only when someone changed it since, so the environment is
    // rewritten at most once while other threads may read it.
    const char *current = std::getenv("FREETDSCONF");
    if ((!current || path != current) && ::setenv("FREETDSCONF", path.c_str(), 1) != 0)
        throw DatabaseError(QString::fromUtf8(kEncryptionUnavailableText));
}

} // namespace

struct FreeTdsSession::State {
    DBPROCESS *dbproc = nullptr;
    std::vector<TdsMessage> serverErrors;
    std::optional<TdsMessage> clientError;
    MessageHandler onInfo;

    void reset(MessageHandler handler)
    {
        serverErrors.clear();
        clientError.reset();
        onInfo = std::move(handler);
    }

    // The most severe server error, as the OLE DB provider reports it; else
    // the client library's own, whose outcome is the caller's to say: before
    // a request was written nothing happened, after it the server may have
    // run it.
    [[noreturn]] void raise(const QString &fallback,
                            DatabaseError::Outcome withoutServerError = DatabaseError::Outcome::NotDone) const
    {
        const TdsMessage *worst = nullptr;
        for (const TdsMessage &m : serverErrors)
            if (!worst || m.severity > worst->severity)
                worst = &m;
        if (worst)
            throw DatabaseError(worst->text, worst->number, worst->severity, worst->state);
        if (clientError)
            throw DatabaseError(clientError->text, clientError->number, clientError->severity, 0, withoutServerError);
        throw DatabaseError(fallback, 0, 16, 0, withoutServerError);
    }
};

namespace {

// The session whose call runs on this thread; db-lib's handlers are global
// and during the login there is no process handle to look the session up by.
thread_local FreeTdsSession::State *t_activeSession = nullptr;

class ActiveSession {
public:
    explicit ActiveSession(FreeTdsSession::State *state)
        : m_previous(t_activeSession)
    {
        t_activeSession = state;
    }
    ~ActiveSession() { t_activeSession = m_previous; }

private:
    FreeTdsSession::State *m_previous;
};

int onServerMessage(DBPROCESS *, DBINT number, int state, int severity, char *text, char *server, char *procedure,
                    int line)
{
    FreeTdsSession::State *session = t_activeSession;
    if (!session)
        return 0;
    TdsMessage message{static_cast<int>(number),
                       state,
                       severity,
                       line,
                       QString::fromUtf8(text ? text : ""),
                       QString::fromUtf8(server ? server : ""),
                       QString::fromUtf8(procedure ? procedure : "")};
    if (severity > 10)
        session->serverErrors.push_back(std::move(message));
    else if (session->onInfo)
        session->onInfo(message);
    return 0;
}

int onClientError(DBPROCESS *, int severity, int dbError, int, char *dbErrorText, char *osErrorText)
{
    FreeTdsSession::State *session = t_activeSession;
    if (session && !isMereEcho(dbError) && !session->clientError) {
        QString text = QString::fromUtf8(dbErrorText ? dbErrorText : "");
        if (osErrorText && *osErrorText)
            text += QStringLiteral(" (%1)").arg(QString::fromUtf8(osErrorText));
        session->clientError = TdsMessage{dbError, 0, severity, 0, text, {}, {}};
    }
    // Give up the call: a time-out cancels the command instead of waiting on.
    return INT_CANCEL;
}

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

void addParameter(DBPROCESS *dbproc, const QByteArray &name, const QByteArray &value, bool isNull)
{
    BYTE *data = isNull ? nullptr : reinterpret_cast<BYTE *>(const_cast<char *>(value.constData()));
    const DBINT length = isNull ? 0 : static_cast<DBINT>(value.size());
    if (dbrpcparam(dbproc, name.constData(), 0, kNVarCharType, -1, length, data) == FAIL)
        throw DatabaseError(QStringLiteral("The parameter %1 could not be prepared.").arg(QString::fromUtf8(name)));
}

QString declaration(const QList<TdsParameter> &parameters)
{
    QStringList parts;
    for (const TdsParameter &p : parameters) {
        const int size = p.maxChars > 0 ? p.maxChars : int(p.value.size());
        parts.append(
            p.name
            + (size > 4000 ? QStringLiteral(" nvarchar(max)") : QStringLiteral(" nvarchar(%1)").arg(qMax(size, 1))));
    }
    return parts.join(u',');
}

// db-lib sends a text parameter of length 0 as NULL: it has no way to say
// "empty". An empty text the caller chose becomes a variable of the
// statement itself, set to the empty string; the others stay parameters.
struct EmptyTextParameters {
    QString statement;
    QList<TdsParameter> remaining;
};

EmptyTextParameters withEmptyTextsDeclared(const QString &sql, const QList<TdsParameter> &parameters)
{
    static const QRegularExpression plainName(QStringLiteral("^@[A-Za-z_][A-Za-z0-9_]*$"));
    EmptyTextParameters result;
    QString declarations;
    for (const TdsParameter &p : parameters) {
        if (!plainName.match(p.name).hasMatch())
            throw DatabaseError(QStringLiteral("The parameter name %1 is not a plain name.").arg(p.name));
        if (p.isNull || !p.value.isEmpty()) {
            result.remaining.append(p);
            continue;
        }
        // On the first line, so the server's line numbers stay those of the
        // caller's text.
        declarations += QStringLiteral("DECLARE %1 nvarchar(1) SET %1 = N'' ").arg(p.name);
    }
    result.statement = declarations + sql;
    return result;
}

// A value the client library can only give as text (numeric, money, a
// uniqueidentifier): its conversion of these does not depend on the locale.
QString convertedText(DBPROCESS *dbproc, int type, BYTE *data, DBINT length)
{
    QByteArray buffer(qMax<qsizetype>(256, qsizetype(length) * 2 + 64), '\0');
    const DBINT written = dbconvert(dbproc, type, data, length, SYBCHAR, reinterpret_cast<BYTE *>(buffer.data()),
                                    static_cast<DBINT>(buffer.size()));
    if (written < 0)
        return QString();
    return QString::fromUtf8(buffer.constData(), written).trimmed();
}

QVariant numberFromText(const QString &text)
{
    bool whole = false;
    const qlonglong integer = text.toLongLong(&whole);
    if (whole)
        return integer;
    bool real = false;
    const double value = text.toDouble(&real);
    return real ? QVariant(value) : QVariant(text);
}

// Date and time types from their binary form, whatever language or locale the
// session or the process has.
QVariant dateTimeValue(DBPROCESS *dbproc, int type, const BYTE *data)
{
    DBDATEREC2 parts{};
    if (dbanydatecrack(dbproc, &parts, type, data) != SUCCEED)
        return {};
    const QDate date(parts.dateyear, parts.datemonth + 1, parts.datedmonth);
    const QTime time(parts.datehour, parts.dateminute, parts.datesecond, parts.datensecond / 1000000);
    switch (type) {
    case SYBMSDATE:
        return date;
    case SYBMSTIME:
        return time;
    case SYBMSDATETIMEOFFSET:
        return QDateTime(date, time, QTimeZone(parts.datetzone * 60));
    default:
        return QDateTime(date, time);
    }
}

QVariant columnValue(DBPROCESS *dbproc, int column)
{
    BYTE *data = dbdata(dbproc, column);
    const DBINT length = dbdatlen(dbproc, column);
    if (!data && length == 0)
        return {};
    const int type = dbcoltype(dbproc, column);
    switch (type) {
    case SYBCHAR:
    case SYBVARCHAR:
    case SYBTEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(data), length);
    case SYBINT1:
        return qlonglong(*reinterpret_cast<const DBTINYINT *>(data));
    case SYBINT2:
        return qlonglong(*reinterpret_cast<const DBSMALLINT *>(data));
    case SYBINT4:
        return qlonglong(*reinterpret_cast<const DBINT *>(data));
    case SYBINT8:
        return qlonglong(*reinterpret_cast<const DBBIGINT *>(data));
    case SYBBIT:
        return *reinterpret_cast<const DBBIT *>(data) != 0;
    case SYBFLT8:
        return double(*reinterpret_cast<const DBFLT8 *>(data));
    case SYBREAL:
        return double(*reinterpret_cast<const DBREAL *>(data));
    case SYBDATETIME:
    case SYBDATETIME4:
    case SYBMSDATE:
    case SYBMSTIME:
    case SYBMSDATETIME2:
    case SYBMSDATETIMEOFFSET:
        return dateTimeValue(dbproc, type, data);
    case SYBBINARY:
    case SYBVARBINARY:
    case SYBIMAGE:
        return QByteArray(reinterpret_cast<const char *>(data), length);
    case SYBNUMERIC:
    case SYBDECIMAL:
    case SYBMONEY:
    case SYBMONEY4:
        return numberFromText(convertedText(dbproc, type, data, length));
    default:
        return convertedText(dbproc, type, data, length);
    }
}

} // namespace

namespace {
bool g_libraryStarted = false; // guarded by libraryMutex()
} // namespace

void FreeTdsSession::initializeLibrary()
{
    std::lock_guard lock(libraryMutex());
    if (g_libraryStarted)
        return;
    requireEncryptionForEveryLogin();
    if (dbinit() == FAIL)
        throw DatabaseError(QStringLiteral("The SQL Server client library could not be started."));
    dbmsghandle(onServerMessage);
    dberrhandle(onClientError);
    g_libraryStarted = true;
}

void FreeTdsSession::finalizeLibrary()
{
    std::lock_guard lock(libraryMutex());
    if (!g_libraryStarted)
        return;
    dbexit();
    g_libraryStarted = false;
}

FreeTdsSession::FreeTdsSession(const TdsLogin &login)
    : m_state(std::make_unique<State>())
{
    initializeLibrary();
    if (login.integrated) {
        if (const auto problem = kerberosLoginProblem(login.host, login.port))
            throw DatabaseError(*problem);
    }

    std::lock_guard lock(libraryMutex());
    requireEncryptionForEveryLogin();
    ActiveSession active(m_state.get());
    m_state->reset({});

    LOGINREC *rec = dblogin();
    if (!rec)
        throw DatabaseError(QStringLiteral("The SQL Server client library is out of memory."));
    DBSETLCHARSET(rec, "UTF-8");
    // Offer the newest Microsoft protocol and let the server answer with the
    // one it speaks. Left to guess, the library retries a silent server with
    // Sybase's protocol, which waits without any time-out.
    dbsetlversion(rec, DBVERSION_74);
    if (login.integrated) {
        DBSETLNETWORKAUTH(rec, TRUE);
    } else {
        DBSETLUSER(rec, utf8(login.user).constData());
        DBSETLPWD(rec, utf8(login.password).constData());
    }
    if (!login.appName.isEmpty())
        DBSETLAPP(rec, utf8(login.appName).constData());
    if (!login.workstation.isEmpty())
        DBSETLHOST(rec, utf8(login.workstation).constData());
    if (!login.database.isEmpty())
        DBSETLDBNAME(rec, utf8(login.database).constData());
    if (login.packetSize > 0)
        DBSETLPACKET(rec, login.packetSize);
    // The login time-out covers the TCP connection; the reads of the login
    // answer are bounded by the query time-out, so a server that accepts and
    // then never answers gives up in the same time.
    dbsetlogintime(login.loginTimeoutSeconds);
    dbsettime(login.loginTimeoutSeconds);

    m_state->dbproc = dbopen(rec, utf8(login.server).constData());
    dbloginfree(rec);
    if (!m_state->dbproc) {
        // The library says only that the connection failed when the server
        // would not encrypt; asking the server again, once the login is given
        // up, tells the user why.
        const bool failedBeforeLogin
            = m_state->serverErrors.empty() && m_state->clientError && m_state->clientError->number == SYBEFCON;
        if (failedBeforeLogin && login.port > 0
            && serverEncryptionAnswer(login.host, login.port) == kServerCannotEncrypt)
            throw DatabaseError(QString::fromUtf8(kServerWillNotEncryptText).arg(login.server), SYBEFCON,
                                m_state->clientError->severity);
        try {
            m_state->raise(QStringLiteral("The connection to SQL Server \"%1\" failed.").arg(login.server));
        } catch (DatabaseError &error) {
            error.setServer(login.server);
            throw;
        }
    }
}

FreeTdsSession::~FreeTdsSession()
{
    if (m_state->dbproc) {
        std::lock_guard lock(libraryMutex());
        ActiveSession active(m_state.get());
        dbclose(m_state->dbproc);
    }
}

QList<TdsResult> FreeTdsSession::execute(const QString &sql, const QList<TdsParameter> &parameters, int timeoutSeconds,
                                         const MessageHandler &onInfo)
{
    DBPROCESS *dbproc = m_state->dbproc;
    std::lock_guard lock(libraryMutex());
    ActiveSession active(m_state.get());
    m_state->reset(onInfo);
    dbsettime(timeoutSeconds);

    // Found dead before anything of the request was written: the server never
    // saw it.
    if (dbdead(dbproc))
        throw DatabaseError(QStringLiteral("The connection to SQL Server was lost."));

    // From the moment the library starts to write the request, a failure the
    // server does not explain leaves its outcome unknown.
    bool handedOver = false;
    bool sent;
    if (parameters.isEmpty()) {
        sent = dbcmd(dbproc, utf8(sql).constData()) == SUCCEED;
        handedOver = sent;
        sent = sent && dbsqlexec(dbproc) == SUCCEED;
    } else {
        const EmptyTextParameters empty = withEmptyTextsDeclared(sql, parameters);
        // db-lib keeps pointers to names and values until the call is sent.
        std::list<QByteArray> keep;
        auto kept = [&keep](const QString &text) -> const QByteArray & { return keep.emplace_back(utf8(text)); };
        sent = dbrpcinit(dbproc, "sp_executesql", 0) == SUCCEED;
        if (sent) {
            addParameter(dbproc, kept(QStringLiteral("@statement")), kept(empty.statement), false);
            if (!empty.remaining.isEmpty())
                addParameter(dbproc, kept(QStringLiteral("@params")), kept(declaration(empty.remaining)), false);
            for (const TdsParameter &p : empty.remaining) {
                const QString value = p.maxChars > 0 ? p.value.left(p.maxChars) : p.value;
                addParameter(dbproc, kept(p.name), kept(value), p.isNull);
            }
            handedOver = true;
            sent = dbrpcsend(dbproc) == SUCCEED && dbsqlok(dbproc) == SUCCEED;
        }
    }

    QList<TdsResult> results;
    bool failed = !sent;
    while (sent) {
        const RETCODE rc = dbresults(dbproc);
        if (rc == NO_MORE_RESULTS)
            break;
        if (rc == FAIL) {
            failed = true;
            break;
        }
        const int columns = dbnumcols(dbproc);
        if (columns <= 0)
            continue;
        TdsResult result;
        for (int c = 1; c <= columns; ++c)
            result.columns.append(QString::fromUtf8(dbcolname(dbproc, c)));
        RETCODE row;
        while ((row = dbnextrow(dbproc)) != NO_MORE_ROWS) {
            if (row == FAIL) {
                failed = true;
                break;
            }
            QList<QVariant> values;
            values.reserve(columns);
            for (int c = 1; c <= columns; ++c)
                values.append(columnValue(dbproc, c));
            result.rows.append(std::move(values));
        }
        results.append(std::move(result));
        if (failed)
            break;
    }
    if (failed && !dbdead(dbproc))
        dbcancel(dbproc);
    if (failed || !m_state->serverErrors.empty())
        m_state->raise(QStringLiteral("SQL Server did not run the statement."),
                       handedOver ? DatabaseError::Outcome::Unknown : DatabaseError::Outcome::NotDone);
    return results;
}

bool FreeTdsSession::connectionLost() const
{
    std::lock_guard lock(libraryMutex());
    return !m_state->dbproc || dbdead(m_state->dbproc);
}

bool FreeTdsSession::endedByServer() const
{
    std::lock_guard lock(libraryMutex());
    if (!m_state->dbproc || dbdead(m_state->dbproc))
        return true;
    const int socket = dbiordesc(m_state->dbproc);
    if (socket < 0)
        return true;
    pollfd waiting{socket, POLLIN, 0};
    return ::poll(&waiting, 1, 0) > 0;
}

} // namespace movan
