#include "support/bench_database.h"

#include "db/database.h"

#include "support/sqlemu_process.h"

#include <QDir>
#include <QProcess>

bool makeAttachedDatabase(const QString &folder, const QString &name, int megabytes, const QString &connectionString)
{
    const QString data = QDir(folder).filePath(name + QStringLiteral(".mdf"));
    const QString log = QDir(folder).filePath(name + QStringLiteral("_log.ldf"));
    QProcess make;
    make.start(QString::fromStdString(builtExecutable("sqlemu")),
               {QStringLiteral("--make-database"), name, QStringLiteral("--data"), data, QStringLiteral("--log"), log,
                QStringLiteral("--size"), QString::number(megabytes)});
    // A gigabyte takes a while on a slow disk.
    if (!make.waitForFinished(600000) || make.exitCode() != 0)
        return false;
    movan::DbCommand attach;
    attach.setConnectionString(connectionString);
    attach.setCommandText(
        QStringLiteral("USE master CREATE DATABASE [%1] ON (FILENAME = N'%2'), (FILENAME = N'%3') FOR ATTACH")
            .arg(name, data, log));
    attach.execute();
    return true;
}
