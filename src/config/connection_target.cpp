#include "config/connection_target.h"

#include "config/connection_string.h"
#include "platform/database_error.h"

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

void applyDataSource(QString source, ConnectionTarget &target)
{
    source = source.trimmed();
    if (source.startsWith(u"tcp:", Qt::CaseInsensitive))
        source = source.mid(4).trimmed();
    else if (source.contains(u':'))
        throw DatabaseError(QStringLiteral("The server \"%1\" names a protocol other than TCP, which is not supported.").arg(source));

    const qsizetype comma = source.indexOf(u',');
    if (comma >= 0) {
        bool ok = false;
        const int port = source.mid(comma + 1).trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            throw DatabaseError(QStringLiteral("The server \"%1\" has an invalid port.").arg(source));
        target.port = port;
        source = source.left(comma).trimmed();
    }
    const qsizetype backslash = source.indexOf(u'\\');
    if (backslash >= 0) {
        target.instance = source.mid(backslash + 1).trimmed();
        source = source.left(backslash).trimmed();
        if (target.instance.isEmpty())
            throw DatabaseError(QStringLiteral("The server name ends with \"\\\" but names no instance."));
    }
    target.host = isLocalName(source) ? QStringLiteral("localhost") : source;
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
    if (provider.compare(u"SQLOLEDB.1", Qt::CaseInsensitive) != 0 && provider.compare(u"SQLOLEDB", Qt::CaseInsensitive) != 0)
        throw DatabaseError(QStringLiteral("The provider \"%1\" is not supported; use SQLOLEDB.1.").arg(provider));

    ConnectionTarget target;
    const QString source = properties.contains(QStringLiteral("Data Source"))
                               ? properties.value(QStringLiteral("Data Source"))
                               : properties.value(QStringLiteral("Server"));
    applyDataSource(source, target);
    target.database = properties.value(QStringLiteral("Initial Catalog"),
                                       properties.value(QStringLiteral("Database"))).trimmed();
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
