#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace movan {

class DbConnection;

// One backup set of a file, as RESTORE HEADERONLY describes it.
struct BackupSetSummary {
    int position = 0; // FILE = n
    QString database;
    QString name; // the set's NAME
    QDateTime finished; // invalid when the server's text could not be read
    QString finishedText; // the server's own text of it
    qint64 sizeBytes = 0;
};

// The sets of a backup file, read by the server (the path is the server's).
// Throws DatabaseError with the server's reason.
QList<BackupSetSummary> readBackupSets(DbConnection &connection, const QString &mediaPath);

// Has the server append a set of the database to the file, with the very
// batch and parameters of the maintenance window; onPercent follows the
// server's "N percent processed.". Throws DatabaseError with its reason.
void appendBackupSet(DbConnection &connection, const QString &database, const QString &mediaPath,
                     const std::function<void(int percent)> &onPercent);

// Has the server read the set at position back whole and check it. Throws
// DatabaseError with its reason when the set does not verify.
void verifyBackupSet(DbConnection &connection, const QString &mediaPath, int position);

// A date and time as the client library writes the server's datetime
// ("Dec  7 2026 06:15PM", "2026-12-07 18:15:00"); invalid when it is neither.
QDateTime serverDateTime(const QString &text);

} // namespace movan
