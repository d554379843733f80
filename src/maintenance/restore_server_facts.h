#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace movan {

class DbConnection;

// What the server says of a database, asked when the program cannot know
// what became of a request (a lost reply, a time-out, a program killed
// midway): the server's own record decides, never a guess.
struct DatabaseCondition {
    bool listed = false;
    QString state; // sys.databases.state_desc: ONLINE, RESTORING, RECOVERING, SUSPECT, OFFLINE, ...
    bool singleUser = false;

    bool online() const { return listed && state.compare(QLatin1String("ONLINE"), Qt::CaseInsensitive) == 0; }
};

DatabaseCondition databaseCondition(DbConnection &connection, const QString &database);

// Whether the server is running a restore into the database now; nothing
// when it cannot say (a server that does not list its requests).
std::optional<bool> restoreRunning(DbConnection &connection, const QString &database);

// Whether another session is running a database-level ALTER or DROP, as the
// restore's drop batch does; nothing when the server cannot say.
std::optional<bool> dropRunning(DbConnection &connection);

// The newest restore into the database that the server finished at or after
// the moment (its own clock), with the set it took; nothing when there is
// none.
struct RestoreRecord {
    QDateTime restored;
    int position = 0;
    QString device; // the file the set was read from, as the restore named it
    QString setName;
};
std::optional<RestoreRecord> restoreFinishedSince(DbConnection &connection, const QString &database,
                                                  const QDateTime &since);

// Whether the record is the restore of that set of that file.
bool restoredSet(const RestoreRecord &record, const QString &file, int position);

} // namespace movan
