#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace movan {

// What a restore had reached, recorded before each step is taken, so that a
// program killed at any step (a window closed by force, a logout, a crashed
// display) finds at its next start what it was doing and where the user's
// database is. Steps only move forward; each later step implies the earlier.
enum class RestoreStep {
    SafetyCopySent, // the copy of the target is being written at safetyCopy
    SafetyCopyVerified, // the copy reads back whole, its set at safetyPosition
    SiblingsStopped,
    DropSent, // the target may be gone from here on
    DropDone, // the server said the target was dropped
    RestoreSent,
    RestoreDone, // the server said the chosen set was restored
    BringBackSent, // the safety copy is being restored over the target
};

struct RestoreJournal {
    RestoreStep step = RestoreStep::SafetyCopySent;
    QString target; // the database, as the server names it
    QString backupFile; // the file chosen, as the server reads it
    int position = 0; // the set chosen in it
    bool targetExisted = false;
    QString safetyCopy; // path of the copy, empty when there was no target
    QString safetySetName; // the copy's NAME, which no other set has
    int safetyPosition = 0; // the copy's set, once verified
    QDateTime started; // this computer's clock, when the restore began
    QDateTime restoreSent; // the server's clock, when the restore was sent
};

// The journal beside the executable, where every administrator of the
// installation finds it.
QString restoreJournalPath();

// The journal left at the path, or nothing: no file, or one that cannot be
// read as a journal (reported on standard error, and left in place).
std::optional<RestoreJournal> readRestoreJournal(const QString &path);

// Replaces the journal at once and whole: a kill at any moment leaves either
// the earlier record or this one, never a part. Readable and writable by the
// owner and the group only. Returns why it could not, or nothing.
std::optional<QString> writeRestoreJournal(const QString &path, const RestoreJournal &journal);

// Removes the journal once the restore has ended where nothing is left to
// resolve.
void removeRestoreJournal(const QString &path);

// The names steps are stored under; nothing for an unknown name.
QString restoreStepName(RestoreStep step);
std::optional<RestoreStep> restoreStepFromName(const QString &name);

} // namespace movan
