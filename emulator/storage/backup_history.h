#pragma once

#include "engine_interface/result_sink.h"
#include "storage/backup_media.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sqlemu {

// One row of msdb.dbo.backupset: a set written by a BACKUP, or read by a
// RESTORE (a real server describes the restored set too).
struct BackupSetRecord {
    int backupSetId = 0;
    int mediaSetId = 0;
    int position = 1; // FILE = n on its medium
    std::optional<std::string> name; // NAME = ...; none: NULL
    std::string databaseName;
    DateTimeValue backupStart;
    DateTimeValue backupFinish;
    char type = 'D'; // D database, L log
    std::int64_t backupSize = 0; // bytes
    bool copyOnly = false;
    std::string serverName;
    std::string userName;

    bool operator==(const BackupSetRecord &) const = default;
};

// One row of msdb.dbo.backupmediafamily: the file a media set lives in.
struct MediaFamilyRecord {
    int mediaSetId = 0;
    int familySequenceNumber = 1;
    std::string physicalDeviceName; // as the statement named it
    int deviceType = 2; // a disk file named in the statement
    FileFamilyId familyId{}; // the medium's own id: media_family_id

    bool operator==(const MediaFamilyRecord &) const = default;
};

// One row of msdb.dbo.restorehistory.
struct RestoreRecord {
    int restoreHistoryId = 0;
    DateTimeValue restoreDate;
    std::string destinationDatabaseName;
    std::string userName;
    int backupSetId = 0;
    char restoreType = 'D';
    bool replace = false;
    bool recovery = true;

    bool operator==(const RestoreRecord &) const = default;
};

// What a completed RESTORE DATABASE adds to the history.
struct RestoreEvent {
    BackupSetInfo set; // the set read
    std::string mediaPath; // as the statement named it
    std::string destinationDatabaseName;
    std::string userName;
    DateTimeValue restoreDate;
    bool replace = false;
};

// The backup and restore history an instance keeps in msdb, so a client that
// lost the answer to a BACKUP or RESTORE can ask what happened. Kept in
// kFileName in the instance's folder, rewritten whole and atomically after
// every statement that adds to it: a kill at any moment loses at most the
// rows of a statement that had not finished. A change that cannot be saved
// is undone in memory (StorageError), so the rows shown are those on disk.
// Thread-safe.
class BackupHistory {
public:
    static constexpr const char *kFileName = "msdb_history.json";

    // Loads the history kept in folder; none yet: empty. A file that does not
    // load throws StorageError and is never overwritten.
    explicit BackupHistory(std::filesystem::path folder);

    std::filesystem::path filePath() const { return m_folder / kFileName; }

    // A successful BACKUP: one backupset row, and a media set (with its
    // family row) unless the medium already has one.
    BackupSetRecord recordBackup(const BackupSetInfo &set, const std::string &mediaPath, bool copyOnly);
    // A successful RESTORE DATABASE: a backupset row for the set read and a
    // restorehistory row pointing at it.
    RestoreRecord recordRestore(const RestoreEvent &event);

    std::vector<BackupSetRecord> backupSets() const;
    std::vector<MediaFamilyRecord> mediaFamilies() const;
    std::vector<RestoreRecord> restores() const;

private:
    struct Rows {
        std::vector<BackupSetRecord> sets;
        std::vector<MediaFamilyRecord> families;
        std::vector<RestoreRecord> restores;
    };
    BackupSetRecord addSetLocked(Rows &rows, const BackupSetInfo &set, const std::string &mediaPath,
                                 bool copyOnly) const;
    void commitLocked(Rows rows);

    const std::filesystem::path m_folder;
    mutable std::mutex m_mutex;
    Rows m_rows;
};

// The history file's text (see emulator/README.md); parsing checks all it
// reads and throws StorageError on the first fault.
std::string backupHistoryToJson(const std::vector<BackupSetRecord> &sets,
                                const std::vector<MediaFamilyRecord> &families,
                                const std::vector<RestoreRecord> &restores);

} // namespace sqlemu
