#include "db/database.h"

#include "db/blocking_call.h"
#include "db/connection_target.h"
#include "db/named_parameters.h"
#include "platform/freetds_session.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>

#include <memory>

namespace movan {

namespace {

constexpr int kPercentProcessed = 3211;

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

QString fieldText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return QString();
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODateWithMs);
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QByteArray:
        return QStringLiteral("0x") + QString::fromLatin1(value.toByteArray().toHex().toUpper());
    default:
        return value.toString();
    }
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

void DbQuery::setParameterText(const QString &name, const QString &value, int size)
{
    Parameter &parameter = parameterByName(name);
    parameter.value = value;
    parameter.isNull = false;
    if (size > 0)
        parameter.size = size;
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
    // in the database, a restarted server all of them). Found so before any
    // byte of the request is written, it is replaced; once the request is
    // on its way it is never sent again, since the server may have run it.
    if (connection.connected() && connection.session().endedByServer())
        connection.close();
    if (!connection.connected())
        connection.open();

    const auto progress = OnFetchProgress;
    const auto onInfo = [progress](const TdsMessage &message) {
        if (!progress)
            return;
        if (const auto percent = percentProcessed(message.number, message.text))
            runOnUserInterfaceThread([progress, value = *percent] { progress(value, 100); });
    };
    QList<TdsResult> results;
    FreeTdsSession &session = connection.session();
    runWithoutFreezing([&] { results = session.execute(text, parameters, m_commandTimeout, onInfo); });

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

qsizetype DbQuery::columnIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0) {
            if (eof())
                throw DatabaseError(QStringLiteral("There is no current row to read '%1' from.").arg(name));
            return i;
        }
    throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
}

QString DbQuery::fieldByName(const QString &name) const
{
    return fieldText(fieldValue(name));
}

QVariant DbQuery::fieldValue(const QString &name) const
{
    const qsizetype column = columnIndex(name);
    return m_rows[m_row][column];
}

void DbQuery::execSQL()
{
    close();
    run(false);
}

void DbQuery::releaseConnection()
{
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
