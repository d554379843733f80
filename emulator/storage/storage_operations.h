#pragma once

#include "engine_interface/result_sink.h"
#include "storage/backup_history.h"
#include "storage/backup_media.h"
#include "storage/catalogue.h"
#include "storage/database_file.h"
#include "storage/operation_progress.h"
#include "storage/partial_folder_journal.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sqlemu {

// What the server says about itself in backup sets and messages.
struct StorageServerInfo {
    std::string serverName; // @@SERVERNAME
    std::string productVersion = "9.00.1399.06";
    int databaseVersion = 611;
    int compatibilityLevel = 90;
    bool oldUnknownDatabaseText = true; // 911 in its SQL Server 2005 wording
};

// Pages processed for one file (message 4035).
struct FilePages {
    std::string logicalName;
    std::int64_t pages = 0;
};

// The figures of a finished BACKUP or RESTORE.
struct TransferFigures {
    std::string databaseName;
    int position = 1; // the backup set's position on the medium
    std::vector<FilePages> files; // data file first
    std::int64_t totalPages = 0;
    double seconds = 0;

    // 4035 for every file, then 3014; statement is "BACKUP DATABASE" or
    // "RESTORE DATABASE".
    std::vector<ServerMessage> completionMessages(std::string_view statement) const;
};

struct RestoreRequest {
    std::string databaseName;
    std::string mediaPath;
    std::vector<std::pair<std::string, std::string>> moves; // MOVE 'logical' TO 'path'
    bool replace = false; // WITH REPLACE
    int position = 1; // WITH FILE = n
    std::string userName; // the login, as msdb's history records it
};

// The storage side of the statements that work on whole databases, one
// function per statement, over the catalogue and the files. Each failure is
// a ServerError with the messages a real server sends; the caller adds
// 3013 to BACKUP and RESTORE failures. OperationCancelled when the
// progress's isCancelled() asked to stop; nothing is left half done (a
// cancelled restore's target is left Restoring).
//
// Killing the process at any moment leaves the catalogue loadable and every
// online database in it whole: files are written under hidden names and
// renamed into place before the catalogue names them, and a database whose
// files are being replaced is marked Restoring in the catalogue until its
// new files are in place. Thread-safe.
class StorageOperations {
public:
    StorageOperations(Catalogue &catalogue, StorageServerInfo server);

    // CREATE DATABASE name ON (FILENAME = ...), (FILENAME = ...) FOR ATTACH.
    // 1801 when the name is taken; 5120 + 1802 when a file cannot be opened
    // or another database uses it; 5172 + 1802 for a file that is not a
    // database file; 5173 + 1813 for files that do not belong together.
    DatabaseInfo attachDatabase(const std::string &name, const std::vector<std::string> &filePaths,
                                const std::string &owner = "sa");

    // BACKUP DATABASE name TO DISK = mediaPath WITH NAME = setName, STATS.
    // 911 (state 11) for an unknown database, 927, 922, 926 or 942 for one
    // that is not online, then the appendBackupSet errors (3201, 3266,
    // 3202...). A set written is recorded in the history.
    TransferFigures backupDatabase(const std::string &name, const std::string &mediaPath, const std::string &setName,
                                   const std::string &userName, const OperationProgress &progress,
                                   bool copyOnly = false);

    // RESTORE DATABASE ... FROM DISK = ... WITH MOVE ..., REPLACE. Errors:
    // 3201 (state 2), 3241, 3254, 4038 for the medium; 3234 for a MOVE of a
    // logical file the backup lacks; 3154 (another database of that name
    // exists) or 3159 (the same database exists) without REPLACE; 3101 while
    // another operation uses the target; 5133, 1834 or 3142 with 3156 and
    // 3119 for targets that cannot be written; 3189 for a damaged set. The
    // database is online only once its files are in place, and the history
    // records the restore only then. The target is listed Restoring while
    // the restore runs; a failure leaves it as it was before, a cancel
    // (OperationCancelled) or a client gone leaves it Restoring, a new name
    // too, as a real server leaves an interrupted restore.
    TransferFigures restoreDatabase(const RestoreRequest &request, const OperationProgress &progress);

    // RESTORE HEADERONLY: every set. RESTORE FILELISTONLY: one set's files.
    std::vector<BackupSetInfo> backupHeaders(const std::string &mediaPath) const;
    BackupSetInfo backupFileList(const std::string &mediaPath, int position = 1) const;
    // RESTORE VERIFYONLY: 3189 when the set is damaged; the caller sends
    // storage_messages::backupSetValid(position) on success.
    void verifyBackup(const std::string &mediaPath, int position, const OperationProgress &progress) const;

    // DROP DATABASE: removes it from the catalogue, then deletes its files
    // (not those of an offline database).
    // 3701 when it does not exist, 3708 for a system database, 3702 while
    // a backup or restore uses it. Sessions using it are the caller's to
    // check (3702) before calling.
    void dropDatabase(const std::string &name);

    // DBCC SHRINKFILE(file, targetMegabytes) in database; file is a logical
    // name or a file id. 8985 when the database has no such file.
    ShrinkFigures shrinkFile(const std::string &database, const std::string &file, std::int64_t targetMegabytes);

    // BACKUP LOG name WITH TRUNCATE_ONLY (after CHECKPOINT): the log keeps
    // only its first pages in use.
    void truncateLog(const std::string &database);
    // Uses megabytes more of the log, growing the file when needed (a test
    // statement: gives a shrink something to do).
    void growLog(const std::string &database, std::int64_t megabytes);

    // At start-up, as a real server's recovery does: every online user
    // database whose files are missing or not whole is marked Suspect (a
    // real server shows it in recovery); returns their names. Databases a
    // killed restore left in Restoring stay so until restored or dropped.
    // The hidden partial files a killed backup or restore left behind are
    // removed first, wherever this server wrote them.
    std::vector<std::string> checkDatabasesOnStart();

    // True while a backup or restore works on the database.
    bool isBusy(const std::string &database) const;

    // msdb's backup and restore history.
    const BackupHistory &history() const { return m_history; }

    // Tests only: every backup, restore and verify of every session pauses
    // this long at each piece (0: not at all).
    void setServerPace(std::chrono::milliseconds pace) { m_serverPace = pace.count(); }
    std::chrono::milliseconds serverPace() const { return std::chrono::milliseconds(m_serverPace.load()); }

private:
    class BusyGuard;
    DatabaseInfo requireDatabase(const std::string &name, int unknownState) const;
    const DatabaseFile &requireLogFile(const DatabaseInfo &database) const;
    void refreshFileSize(const DatabaseInfo &database, int fileId, std::int64_t sizePages);
    std::vector<std::filesystem::path> planRestoreTargets(const RestoreRequest &request, const BackupSetInfo &set,
                                                          const std::optional<DatabaseInfo> &existing) const;

    Catalogue &m_catalogue;
    const StorageServerInfo m_server;
    BackupHistory m_history;
    std::atomic<std::int64_t> m_serverPace{0};
    PartialFolderJournal m_partialFolders; // where a kill may leave hidden partial files
    mutable std::mutex m_mutex; // checks and catalogue changes of attach, restore and drop
    std::vector<std::string> m_busy; // databases a backup or restore works on
};

// Full, normalised path of a file named by a statement, as the catalogue
// records and compares them; backslashes separate folders.
std::filesystem::path normalisedFilePath(const std::filesystem::path &path);

} // namespace sqlemu
