#include "support/bench_database.h"

#include "db/database.h"

#include "support/sqlemu_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>

bool makeAttachedDatabase(const QString &folder, const QString &name, int megabytes, const QString &connectionString,
                          const QString &logicalData, const QString &logicalLog)
{
    const QString data = QDir(folder).filePath(name + QStringLiteral(".mdf"));
    const QString log = QDir(folder).filePath(name + QStringLiteral("_log.ldf"));
    QStringList arguments
        = {QStringLiteral("--make-database"), name, QStringLiteral("--data"), data,
           QStringLiteral("--log"),           log,  QStringLiteral("--size"), QString::number(megabytes)};
    if (!logicalData.isEmpty())
        arguments << QStringLiteral("--logical-data") << logicalData;
    if (!logicalLog.isEmpty())
        arguments << QStringLiteral("--logical-log") << logicalLog;
    QProcess make;
    make.start(QString::fromStdString(builtExecutable("sqlemu")), arguments);
    // A gigabyte takes a while on a slow disk.
    if (!make.waitForFinished(600000) || make.exitCode() != 0) {
        std::fprintf(stderr, "sqlemu could not make %s: %s\n", qPrintable(name),
                     make.readAllStandardError().constData());
        return false;
    }
    try {
        movan::DbCommand attach;
        attach.setConnectionString(connectionString);
        attach.setCommandText(
            QStringLiteral("USE master CREATE DATABASE [%1] ON (FILENAME = N'%2'), (FILENAME = N'%3') FOR ATTACH")
                .arg(name, data, log));
        attach.execute();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s was not attached: %s\n", qPrintable(name), error.what());
        return false;
    }
    return true;
}

double backUpWithTsql(const QString &database, const QString &file, const QString &saPassword,
                      const QProcessEnvironment &environment)
{
    QProcess tsql;
    tsql.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    tsql.start(QStringLiteral("tsql"),
               {QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QStringLiteral("1433"),
                QStringLiteral("-U"), QStringLiteral("sa"), QStringLiteral("-P"), saPassword});
    tsql.write(QStringLiteral("BACKUP DATABASE %1 TO DISK = N'%2' WITH NOINIT, NOUNLOAD, NAME = N'My Backup', "
                              "NOSKIP, STATS = 10, NOFORMAT\ngo\nexit\n")
                   .arg(database, file)
                   .toUtf8());
    tsql.closeWriteChannel();
    tsql.waitForFinished(600000);
    return double(clock.elapsed()) / 1000.0;
}
