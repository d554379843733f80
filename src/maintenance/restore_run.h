#pragma once

#include "backup/backup_sets.h"
#include "db/database.h"
#include "maintenance/restore_journal.h"

#include <QString>

#include <functional>
#include <optional>

namespace movan {

struct RestoreWindowParts;

// One restore of a backup set over a database, as named steps over its
// journal. Each step either lets the restore go on, or ends it having told
// the user what became of their database; none claims an outcome the server
// did not show.
class RestoreRun {
public:
    RestoreRun(const RestoreWindowParts &parts, QString target, QString backupFile, QString connectionString);

    // Before anything changes: the set, its files, that it reads back whole,
    // that the restore's files are nobody else's, the target as the server
    // has it.
    bool check();
    // The user's word, on a question that names the set and its date.
    bool confirm();
    // A copy of the target, under a name nobody else has, read back whole.
    bool takeSafetyCopy();
    void stopSiblingPrograms();
    bool dropTarget();
    // The chosen set in place of the target; on failure the target is brought
    // back from the copy, or the user told where it is.
    bool restoreChosenSet();

private:
    bool bringBack(const QString &why);
    void finishWithoutChange(const QString &why, const QString &details = QString());
    void removeSafetyCopy();
    // Removes the copy, then the journal, while meanwhile runs.
    void removeSafetyCopyWhile(const std::function<void()> &meanwhile);
    bool record(RestoreStep step);
    bool closing() const;

    const RestoreWindowParts &m_parts;
    QString m_folder;
    QString m_connectionString;
    DbConnection m_server; // the checks and every question asked of the server
    RestoreJournal m_journal;
    QString m_journalPath;
    BackupSetSummary m_set;
    QString m_targetState; // of a target the server lists but cannot use
    qint64 m_targetBytes = 0;
};

} // namespace movan
