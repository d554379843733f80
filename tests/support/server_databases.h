#pragma once

#include <QString>
#include <QStringList>

// The databases a server lists (master.dbo.sysdatabases), read as sa through
// the program's own database layer; dataSource as a connection string's
// Data Source names the server.
QStringList serverDatabaseNames(const QString &dataSource, const QString &saPassword);
