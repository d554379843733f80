#pragma once

#include "backup/backup_sets.h"
#include "cli/cli_text.h"
#include "cli/command_line.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace movan {

// What the command line's exit code says; the manual page lists them.
enum class ExitCode : int {
    Done = 0,
    Failed = 1, // anything not named below
    BadUsage = 2,
    SettingsMissing = 3, // no Kerberos ticket and no SQL Server login saved
    ServerUnreachable = 4, // no connection, or the login refused
    BackupRefused = 5, // the server refused the backup, or to read the file listed
    VerifyFailed = 6, // the server found the new set damaged
    FolderNotWritable = 7,
    OldBackupsKept = 8, // the backup is done and verified, but old ones could not all be removed
    NotVerified = 9, // the backup is written, but its read-back could not run; the file is kept
    OutcomeUnknown = 10, // the reply to the backup was lost and the server could not say what it did
};

// Where the command line writes: messages one line each (the newline added
// here), the progress bar's pieces as they are, and data for standard output.
struct CliOutput {
    CliLanguage language = CliLanguage::English;
    bool terminal = false; // standard error is a terminal
    std::function<void(const QString &)> message;
    std::function<void(const QString &)> progress;
    std::function<void(const QString &)> data;
};

// --backup: the backup, its verification and the retention, at the moment now.
ExitCode runBackup(const BackupRequest &request, const CliOutput &output, const QDateTime &now);

// --list-sets: a line per set of the file on standard output.
ExitCode runListSets(const ListSetsRequest &request, const CliOutput &output);

// The line --list-sets writes for a set: position, database, date of its
// end as yyyy-MM-dd HH:mm ("-" when the server gave none), size in bytes,
// separated by tabs.
QString listLine(const BackupSetSummary &set);

// The folder where the backups go, absolute: as given (relative to the
// working directory), else Backups beside the executable.
QString backupFolder(const QString &given);

// Makes the folder when it is missing; why this process cannot create and
// remove files in it, or nothing when it can.
std::optional<QString> folderProblem(const QString &folder);

} // namespace movan
