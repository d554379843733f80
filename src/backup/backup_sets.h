#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <exception>
#include <functional>

namespace movan {

class DbConnection;

// RESTORE HEADERONLY's BackupType of a backup of a whole database.
inline constexpr int kDatabaseBackupType = 1;

// One backup set of a file, as RESTORE HEADERONLY describes it, read from
// the server's typed values: dates never pass through text.
struct BackupSetSummary {
    int position = 0; // FILE = n
    int backupType = 0; // kDatabaseBackupType for a whole database
    QString database;
    QString name; // the set's NAME; empty when it has none
    QString serverName;
    QDateTime started; // invalid when the server gave none
    QDateTime finished; // invalid when the server gave none
    qint64 sizeBytes = 0;
};

// A date only when the server sent one: text is never read as a date, since
// its spelling follows whatever locale wrote it.
QDateTime serverDate(const QVariant &value);
// The server's clock, which its history is written in.
QDateTime serverNow(DbConnection &connection);

// The sets of a backup file, read by the server (the path is the server's),
// in the file's order. The program's only reader of RESTORE HEADERONLY.
// Throws DatabaseError with the server's reason.
QList<BackupSetSummary> readBackupSets(DbConnection &connection, const QString &mediaPath);

// Has the server append a set of the database to the file, with the very
// batch and parameters of the maintenance window; onPercent follows the
// server's "N percent processed.". Throws DatabaseError with its reason.
void appendBackupSet(DbConnection &connection, const QString &database, const QString &mediaPath,
                     const std::function<void(int percent)> &onPercent);

// What a read-back of a set showed. Damaged only when the server itself said
// the set or its file is not sound; a check that did not run to its end
// (no connection, a time-out, a server that went away) proves nothing and is
// NotVerified.
enum class Verification { Sound, Damaged, NotVerified };

struct VerifyResult {
    Verification verdict = Verification::NotVerified;
    QString reason; // the server's or the client's words; empty when sound
};

// Has the server read the set at position back whole and check it.
VerifyResult verifyBackupSet(DbConnection &connection, const QString &mediaPath, int position);

// Whether a server error number, met while reading a backup back, says the
// set or its medium is not sound.
bool isDamageNumber(int number);

// The verdict a failure of a read-back stands for.
Verification verdictOf(const std::exception &error);

} // namespace movan
