#pragma once

#include "engine_interface/result_sink.h"
#include "storage/database_file.h"
#include "storage/operation_progress.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sqlemu {

// A backup medium: a file holding a sequence of backup sets, in a format of
// our own.
//
//   [media header, 8 KB] [set 1] [set 2] ...
//
// The media header names the end of the last committed set in two
// checksummed slots written alternately, so an interrupted commit leaves the
// other slot (and every earlier set) intact. A set is written past that end
// and committed by the slot write: until then readers do not see it, and a
// failed or cancelled append cuts it off again. A kill mid-append leaves
// bytes past the committed end that the next append cuts off; the sets
// before them never change.
//
// A set is a header (names, dates, versions, the files with their sizes and
// checksums, and a checksum of the header itself) followed by the bytes of
// each database file, page-aligned.

struct BackupFileEntry {
    int fileId = 1;
    DatabaseFileType type = DatabaseFileType::Data;
    std::string logicalName;
    std::string physicalName; // where the file was when it was backed up
    std::int64_t sizePages = 0;
    std::int64_t usedPages = 0;
    std::uint64_t dataOffset = 0; // from the start of the set
    std::uint64_t byteLength = 0;
    std::uint32_t checksum = 0; // CRC-32C of the file's bytes
};

// What RESTORE HEADERONLY and FILELISTONLY show of one set.
struct BackupSetInfo {
    int position = 1; // FILE = n
    int backupType = 1; // 1 database, 2 log
    std::string name; // NAME = ...
    std::string description;
    std::string databaseName;
    std::string serverName;
    std::string userName;
    std::string productVersion; // e.g. 9.00.1399.06
    int databaseVersion = 611;
    int compatibilityLevel = 90;
    DateTimeValue databaseCreated;
    DateTimeValue backupStart;
    DateTimeValue backupFinish;
    FileFamilyId familyId{};
    std::vector<BackupFileEntry> files;
    std::uint64_t setOffset = 0; // in the media file
    std::uint64_t setLength = 0; // header and data, bytes

    std::uint64_t backupSizeBytes() const { return setLength; }
    const BackupFileEntry *fileByLogicalName(std::string_view logical) const; // as the collation compares
};

// What a backup records beside the files themselves.
struct BackupSetDescription {
    std::string name;
    std::string description;
    std::string databaseName;
    std::string serverName;
    std::string userName;
    std::string productVersion;
    int databaseVersion = 611;
    int compatibilityLevel = 90;
    DateTimeValue databaseCreated;
    // The database's files, data file first, at their current paths.
    std::vector<std::filesystem::path> files;
};

// Appends one set. Creates the medium when it is missing (written under a
// hidden name, then renamed, so no half medium ever appears). ServerError:
// 3201 (state 1) when the medium cannot be opened or created, 3266 when the
// file is not a backup medium or its end is damaged, 3202 when a write
// fails, 5120-family errors when a database file cannot be read.
// OperationCancelled when progress.isCancelled() says so. In every failure
// the medium is left exactly as it was.
BackupSetInfo appendBackupSet(const std::filesystem::path &mediaPath, const BackupSetDescription &description,
                              const OperationProgress &progress);

// The committed sets. ServerError: 3201 (state 2) when the medium cannot be
// opened, 3254 when it holds no set, 3241 when it is not a backup medium or
// a set header is damaged.
std::vector<BackupSetInfo> readBackupSets(const std::filesystem::path &mediaPath);

// One set by position (4038 when there is none).
BackupSetInfo readBackupSet(const std::filesystem::path &mediaPath, int position);

// Reads a whole set and checks every checksum (3189 when one fails).
void verifyBackupSet(const std::filesystem::path &mediaPath, int position, const OperationProgress &progress);

// Writes each file of a set to its target path (targets[i] for files[i]).
// Files are written under hidden names in the target folders, checked
// against their checksums, flushed, and only then renamed over the targets;
// a failure or a cancel removes them and leaves the targets as they were.
// ServerError: the readBackupSet errors, 3189 on a checksum failure, 3203
// when the medium cannot be read, 5133-style errors when a target cannot be
// written. Returns the set restored.
BackupSetInfo restoreBackupSet(const std::filesystem::path &mediaPath, int position,
                               const std::vector<std::filesystem::path> &targets, const OperationProgress &progress);

} // namespace sqlemu
