#include "db/connection_target.h"

#include "db/connection_string.h"
#include "platform/database_error.h"

#include <QHostAddress>

namespace movan {

namespace {

bool isLocalName(const QString &host)
{
    return host.isEmpty() || host == u"." || host.compare(u"(local)", Qt::CaseInsensitive) == 0
        || host.compare(u"localhost", Qt::CaseInsensitive) == 0;
}

bool isTrue(const QString &value)
{
    return value.compare(u"SSPI", Qt::CaseInsensitive) == 0 || value.compare(u"true", Qt::CaseInsensitive) == 0
        || value.compare(u"yes", Qt::CaseInsensitive) == 0;
}

// "::1" or "fe80::1%eth0": a colon there names no protocol.
bool isIpv6Literal(const QString &text)
{
    QHostAddress address;
    return text.contains(u':') && address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

// The part after the host: ",PORT" and/or "\INSTANCE", in the order written.
void applyPortAndInstance(QString rest, const QString &source, ConnectionTarget &target)
{
    const qsizetype comma = rest.indexOf(u',');
    if (comma >= 0) {
        bool ok = false;
        const int port = rest.mid(comma + 1).trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            throw DatabaseError(QStringLiteral("The server \"%1\" has an invalid port.").arg(source));
        target.port = port;
        rest = rest.left(comma).trimmed();
    }
    const qsizetype backslash = rest.indexOf(u'\\');
    if (backslash >= 0) {
        target.instance = rest.mid(backslash + 1).trimmed();
        if (target.instance.isEmpty())
            throw DatabaseError(QStringLiteral("The server name ends with \"\\\" but names no instance."));
        rest = rest.left(backslash).trimmed();
    }
    if (!rest.isEmpty())
        throw DatabaseError(QStringLiteral("The server \"%1\" is not a server name.").arg(source));
}

void refuseOtherProtocol(const QString &source)
{
    throw DatabaseError(
        QStringLiteral("The server \"%1\" names a protocol other than TCP, which is not supported.").arg(source));
}

void applyDataSource(QString source, ConnectionTarget &target)
{
    source = source.trimmed();
    if (source.startsWith(u"tcp:", Qt::CaseInsensitive))
        source = source.mid(4).trimmed();

    QString host;
    if (source.startsWith(u'[')) {
        // "[address]", with a port or an instance after it.
        const qsizetype close = source.indexOf(u']');
        host = close < 0 ? QString() : source.mid(1, close - 1).trimmed();
        if (!isIpv6Literal(host))
            throw DatabaseError(QStringLiteral("The server \"%1\" is not a server name.").arg(source));
        applyPortAndInstance(source.mid(close + 1).trimmed(), source, target);
        target.host = host;
        return;
    }
    const qsizetype end = [&] {
        const qsizetype comma = source.indexOf(u',');
        const qsizetype backslash = source.indexOf(u'\\');
        if (comma < 0 || backslash < 0)
            return qMax(comma, backslash);
        return qMin(comma, backslash);
    }();
    host = (end < 0 ? source : source.left(end)).trimmed();
    if (host.contains(u':') && !isIpv6Literal(host))
        refuseOtherProtocol(source);
    applyPortAndInstance(end < 0 ? QString() : source.mid(end), source, target);
    target.host = isLocalName(host) ? QStringLiteral("localhost") : host;
}

} // namespace

ConnectionTarget connectionTargetFrom(const QString &connectionString)
{
    ConnectionProperties properties;
    try {
        properties = parseConnectionString(connectionString);
    } catch (const ConnectionStringError &e) {
        throw DatabaseError(e.message());
    }

    const QString provider = properties.value(QStringLiteral("Provider")).trimmed();
    if (provider.isEmpty())
        throw DatabaseError(QStringLiteral("The connection string names no provider."));
    if (provider.compare(u"SQLOLEDB.1", Qt::CaseInsensitive) != 0
        && provider.compare(u"SQLOLEDB", Qt::CaseInsensitive) != 0)
        throw DatabaseError(QStringLiteral("The provider \"%1\" is not supported; use SQLOLEDB.1.").arg(provider));

    ConnectionTarget target;
    const QString source = properties.contains(QStringLiteral("Data Source"))
        ? properties.value(QStringLiteral("Data Source"))
        : properties.value(QStringLiteral("Server"));
    applyDataSource(source, target);
    target.database
        = properties.value(QStringLiteral("Initial Catalog"), properties.value(QStringLiteral("Database"))).trimmed();
    target.integratedSecurity = isTrue(properties.value(QStringLiteral("Integrated Security")).trimmed())
        || isTrue(properties.value(QStringLiteral("Trusted_Connection")).trimmed());
    if (!target.integratedSecurity) {
        target.user = properties.value(QStringLiteral("User ID"), properties.value(QStringLiteral("UID")));
        target.password = properties.value(QStringLiteral("Password"), properties.value(QStringLiteral("PWD")));
    }
    target.workstation = properties.value(QStringLiteral("Workstation ID"));
    const QString packetSize = properties.value(QStringLiteral("Packet Size")).trimmed();
    if (!packetSize.isEmpty()) {
        bool ok = false;
        target.packetSize = packetSize.toInt(&ok);
        if (!ok || target.packetSize < 512 || target.packetSize > 32767)
            throw DatabaseError(QStringLiteral("The packet size \"%1\" is not between 512 and 32767.").arg(packetSize));
    }
    return target;
}

} // namespace movan
