#pragma once

#include <QString>
#include <QStringList>

// The maintenance window's batches as it holds them, line by line; the
// database layer joins the lines with CR LF and sends ":Name" as a parameter.
namespace MaintenanceBatches {

// The database list, before its condition is added.
inline const QStringList kDatabaseList{
    QStringLiteral("Select name, filename from master.dbo.sysdatabases "),
    QStringLiteral("Where 1=1"),
    QString(),
};

// Which databases are the program family's.
inline const QString kMovanDatabasesCondition
    = QStringLiteral("name Like 'Qelnat%' OR  name like '%Movan%' OR  name like '%Tarnel%' ");
inline const QString kConditionConnector = QStringLiteral("AND");

inline const QStringList kLogShrink{
    QStringLiteral("Declare"),
    QStringLiteral("\t@DataBase Varchar(50)"),
    QStringLiteral("Set @DataBase = :Ar_DataBase"),
    QStringLiteral("checkpoint"),
    QStringLiteral("BACKUP LOG @DataBase WITH TRUNCATE_ONLY"),
    QString(),
    QStringLiteral("DECLARE @LogName varchar(100)"),
    QStringLiteral("SELECT @LogName=NAME FROM SYSFILES WHERE FILEID = 2"),
    QStringLiteral("SET @LogName = LTRIM(RTRIM(@LogName))"),
    QString(),
    QStringLiteral("DBCC SHRINKFILE(@LogName, 1)"),
};

inline const QStringList kBackup{
    QStringLiteral("Declare @Ar_Path Varchar(255),"),
    QStringLiteral("        @Ar_DataBase varchar(50)"),
    QString(),
    QStringLiteral("Set @Ar_DataBase = :Ar_DataBase"),
    QStringLiteral("Set @Ar_Path     = :Ar_Path"),
    QString(),
    QStringLiteral("Set @Ar_DataBase = LTrim(RTrim(Replace(@Ar_DataBase, '''', '')))"),
    QStringLiteral("Declare @path varchar(200) Set @path= @Ar_Path  --+@Ar_DataBase+'_'+ Replace(Cast(GetDate() As char), "
                   "':', '-') + '.Back' "),
    QStringLiteral("BACKUP DATABASE @Ar_DataBase TO DISK = @path WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, "
                   "STATS = 10, NOFORMAT"),
    QString(),
};

} // namespace MaintenanceBatches
