#include "support/server_databases.h"

#include "db/database.h"
#include "settings/connection_templates.h"

using namespace movan;

QStringList serverDatabaseNames(const QString &dataSource, const QString &saPassword)
{
    DbQuery query;
    query.setConnectionString(BuildConnectionString(dataSource, QStringLiteral("SQL"), QStringLiteral("sa"), saPassword,
                                                    QStringLiteral("master")));
    query.setSqlText(QStringLiteral("select name from master.dbo.sysdatabases"));
    query.open();
    QStringList names;
    for (query.first(); !query.eof(); query.next())
        names.append(query.fieldByName(QStringLiteral("name")));
    query.close();
    return names;
}
