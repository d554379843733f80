#include "db/database.h"

#include "db/blocking_call.h"
#include "db/connection_target.h"
#include "db/named_parameters.h"
#include "platform/freetds_session.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <atomic>
#include <memory>

namespace movan {

namespace {

constexpr int kPercentProcessed = 3211;
// The client library numbers its own errors from here on; a server's
// messages stay below.
constexpr int kFirstClientLibraryError = 20000;

bool isClientLibraryError(const DatabaseError &error)
{
    return error.number() == 0 || error.number() >= kFirstClientLibraryError;
}

TdsLogin loginFrom(const QString &connectionString)
{
    const ConnectionTarget target = connectionTargetFrom(connectionString);
    TdsLogin login;
    login.host = target.host;
    login.port = target.port;
    // The client reads an IPv6 address's own colons as a port unless the
    // address stands in brackets.
    const QString host = target.host.contains(u':') ? u'[' + target.host + u']' : target.host;
    if (target.port > 0)
        login.server = host + u':' + QString::number(target.port);
    else if (!target.instance.isEmpty())
        login.server = host + u'\\' + target.instance;
    else {
        login.server = host + QStringLiteral(":1433");
        login.port = 1433;
    }
    login.user = target.user;
    login.password = target.password;
    login.integrated = target.integratedSecurity;
    login.database = target.database;
    login.workstation = target.workstation;
    login.packetSize = target.packetSize;
    login.appName = QCoreApplication::instance() ? QCoreApplication::applicationName() : QStringLiteral("movan-config");
    return login;
}

} // namespace

QStringList uniqueFieldNames(const QStringList &columns)
{
    QStringList names;
    for (const QString &column : columns) {
        QString name = column;
        for (int suffix = 1; names.contains(name, Qt::CaseInsensitive); ++suffix)
            name = column + u'_' + QString::number(suffix);
        names.append(name);
    }
    return names;
}

std::optional<int> percentProcessed(int messageNumber, const QString &text)
{
    if (messageNumber != kPercentProcessed)
        return std::nullopt;
    static const QRegularExpression leadingNumber(QStringLiteral("^\\s*(\\d+)"));
    const auto match = leadingNumber.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

// ---- DbConnection ----

DbConnection::DbConnection() = default;
DbConnection::~DbConnection() = default;

void DbConnection::setConnectionString(const QString &connectionString)
{
    if (connectionString != m_connectionString)
        close();
    m_connectionString = connectionString;
}

void DbConnection::open()
{
    if (m_session)
        return;
    const TdsLogin login = loginFrom(m_connectionString);
    runWithoutFreezing([&] { m_session = std::make_unique<FreeTdsSession>(login); });
}

void DbConnection::close()
{
    m_session.reset();
}

FreeTdsSession &DbConnection::session()
{
    if (!m_session)
        throw DatabaseError(QStringLiteral("The connection is not open."));
    return *m_session;
}

// ---- DbQuery ----

DbQuery::DbQuery() = default;
DbQuery::~DbQuery() = default;

void DbQuery::setSqlLines(const QStringList &lines)
{
    m_lines = lines;
    reparseParameters();
}

QString DbQuery::sqlText() const
{
    QString text;
    for (const QString &line : m_lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

void DbQuery::setSqlText(const QString &text)
{
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    setSqlLines(lines);
}

void DbQuery::setConnectionString(const QString &connectionString)
{
    if (connectionString != m_connectionString)
        m_own.reset();
    m_connectionString = connectionString;
}

void DbQuery::setConnection(DbConnection *connection)
{
    m_shared = connection;
}

void DbQuery::setParamCheck(bool on)
{
    m_paramCheck = on;
    reparseParameters();
}

void DbQuery::reparseParameters()
{
    if (!m_paramCheck) {
        m_parameters.clear();
        return;
    }
    // Values and sizes given earlier survive a new text that keeps the name.
    QList<Parameter> parameters;
    for (const QString &name : parseNamedParameters(sqlText()).names) {
        Parameter p{name, {}, true, 0};
        for (const Parameter &old : m_parameters)
            if (old.name.compare(name, Qt::CaseInsensitive) == 0)
                p = old;
        parameters.append(p);
    }
    m_parameters = parameters;
}

DbQuery::Parameter &DbQuery::parameterByName(const QString &name)
{
    for (Parameter &p : m_parameters)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw DatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

DbConnection &DbQuery::connectionForCall()
{
    if (m_shared)
        return *m_shared;
    if (!m_own) {
        m_own = std::make_unique<DbConnection>();
        m_own->setConnectionString(m_connectionString);
    }
    return *m_own;
}

void DbQuery::run(bool keepRows)
{
    QString text = sqlText();
    QList<TdsParameter> parameters;
    if (m_paramCheck) {
        const ParameterizedText parsed = parseNamedParameters(text);
        text = parsed.text;
        for (qsizetype i = 0; i < parsed.names.size(); ++i) {
            const Parameter &p = parameterByName(parsed.names[i]);
            parameters.append(TdsParameter{QStringLiteral("@P%1").arg(i + 1), p.value, p.isNull, p.size});
        }
    }

    DbConnection &connection = connectionForCall();
    // A connection kept open since an earlier call may have been ended by
    // the server meanwhile (a restore's ROLLBACK IMMEDIATE ends every session
    // in the database, a restarted server all of them).
    bool reused = connection.connected();
    if (reused && connection.session().endedByServer()) {
        connection.close();
        reused = false;
    }
    if (!connection.connected())
        connection.open();

    const auto progress = OnFetchProgress;
    auto heard = std::make_shared<std::atomic<bool>>(false);
    const auto onInfo = [progress, heard](const TdsMessage &message) {
        *heard = true;
        if (!progress)
            return;
        if (const auto percent = percentProcessed(message.number, message.text))
            runOnUserInterfaceThread([progress, value = *percent] { progress(value, 100); });
    };
    QList<TdsResult> results;
    const auto execute = [&] {
        FreeTdsSession &session = connection.session();
        runWithoutFreezing([&] { results = session.execute(text, parameters, m_commandTimeout, onInfo); });
    };
    try {
        execute();
    } catch (const DatabaseError &error) {
        // Only a request the server never answered is sent again, once, on a
        // new connection: the server had ended the old one before the
        // request could reach it.
        if (!reused || *heard || !isClientLibraryError(error) || !connection.session().connectionLost())
            throw;
        connection.close();
        connection.open();
        execute();
    }

    if (!keepRows)
        return;
    // The first result that has columns is the query's row set.
    for (const TdsResult &result : results) {
        if (result.columns.isEmpty())
            continue;
        m_columns = uniqueFieldNames(result.columns);
        m_rows = result.rows;
        break;
    }
}

void DbQuery::open()
{
    if (m_open)
        return;
    m_columns.clear();
    m_rows.clear();
    m_row = 0;
    run(true);
    m_open = true;
}

void DbQuery::close()
{
    m_open = false;
    m_columns.clear();
    m_rows.clear();
    m_row = 0;
}

void DbQuery::first()
{
    m_row = 0;
}

void DbQuery::next()
{
    if (m_row < m_rows.size())
        ++m_row;
}

bool DbQuery::eof() const
{
    return !m_open || m_row >= m_rows.size();
}

QString DbQuery::fieldByName(const QString &name) const
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_columns.size() && found < 0; ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            found = i;
    if (found < 0)
        throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    if (eof())
        throw DatabaseError(QStringLiteral("There is no current row to read '%1' from.").arg(name));
    return m_rows[m_row][found].value_or(QString());
}

void DbQuery::execSQL()
{
    close();
    run(false);
}

void DbQuery::unprepare()
{
    // Statements go as plain batches or sp_executesql calls, which hold
    // nothing prepared on the server; a query with its own connection gives
    // it back so that nothing of a finished operation lingers.
    if (!m_open)
        m_own.reset();
}

// ---- DbCommand ----

void DbCommand::execute()
{
    DbConnection connection;
    connection.setConnectionString(m_connectionString);
    connection.open();
    FreeTdsSession &session = connection.session();
    runWithoutFreezing([&] { session.execute(m_commandText, {}, 0, {}); });
}

} // namespace movan
