#pragma once

// The large database a backup benchmark works on: made by sqlemu in a folder
// and attached by the server the connection string reaches; and the same
// backup sent straight by tsql, the yardstick the program is measured by.

#include <QProcessEnvironment>
#include <QString>

// Makes NAME.mdf and NAME_log.ldf of the size in FOLDER and attaches them
// as NAME; false, with the reason on standard error, when sqlemu could not
// make the files or the server refused the attach. The logical file names
// are sqlemu's (NAME_Data, NAME_log) unless given, e.g. the Data_Data and
// Data_log that the window's restore expects of a set.
bool makeAttachedDatabase(const QString &folder, const QString &name, int megabytes, const QString &connectionString,
                          const QString &logicalData = QString(), const QString &logicalLog = QString());

// tsql sends the program's backup statement for the database, to the file,
// to the server on 127.0.0.1:1433 as sa; the seconds until tsql ended. The
// environment is tsql's (FREETDSCONF chooses its encryption).
double backUpWithTsql(const QString &database, const QString &file, const QString &saPassword,
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
