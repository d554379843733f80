#pragma once

#include "engine_interface/result_sink.h"
#include "storage/database_info.h"
#include "storage/file_io.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sqlemu {

// A database is a data file and a log file in a format of our own: page 0
// of each is a header, the rest are 8-KB pages. Sizes count pages of the
// whole file, header page included, so a file is sizePages * 8192 bytes as
// sysfiles reports it.
//
// Changes that resize a file keep it whole against a kill at any moment: a
// file may be longer than its header says (the tail is ignored and cut at
// the next change) but never shorter.
constexpr std::int64_t kPageSize = 8192;
constexpr std::int64_t kPagesPerMegabyte = std::int64_t{1024} * 1024 / kPageSize;
constexpr std::uint32_t kDatabaseFileFormatVersion = 1;

// Shared by the two files of one database so that a data file and a log
// file can be told to belong together.
using FileFamilyId = std::array<std::uint8_t, 16>;
FileFamilyId newFileFamilyId();

struct DatabaseFileHeader {
    std::uint32_t formatVersion = kDatabaseFileFormatVersion;
    DatabaseFileType type = DatabaseFileType::Data;
    int fileId = 1;
    FileFamilyId familyId{};
    std::string databaseName;
    std::string logicalName;
    std::int64_t sizePages = 0;
    std::int64_t usedPages = 0; // pages in use; a shrink stops here
    std::int64_t minimumPages = 0; // the size the file was made with
    DateTimeValue created;

    bool operator==(const DatabaseFileHeader &) const = default;
};

struct DatabaseFilePair {
    std::filesystem::path dataPath;
    std::filesystem::path logPath;
    DatabaseFileHeader data;
    DatabaseFileHeader log;

    // The files as the catalogue records them, data file first.
    std::vector<DatabaseFile> catalogueFiles() const;
};

// What sqlemu --make-database writes.
struct NewDatabaseFiles {
    std::string name;
    std::filesystem::path dataPath;
    std::filesystem::path logPath;
    std::int64_t dataSizeMegabytes = 3;
    std::int64_t logSizeMegabytes = 1;
    std::string logicalDataName; // empty: <name>_Data
    std::string logicalLogName; // empty: <name>_log
};

// Writes a new pair under hidden names and renames them into place, so a
// failure or a kill leaves no half-written file at the named paths. Refuses
// (ServerError 5170) to replace an existing file; a missing folder or an
// unwritable one is 5123.
DatabaseFilePair createDatabaseFiles(const NewDatabaseFiles &request);

// Reads and checks one file's header. ServerError: 5120 when the file cannot
// be opened (with the OS error), 5172 when it is not a database file
// (PageAudit), its header is damaged (CHECKSUM) or the file is shorter than
// its header says (FILE SIZE), 948 when a newer format wrote it.
DatabaseFileHeader readDatabaseFileHeader(const std::filesystem::path &path);

// Opens a database file to read it whole (a backup), with its header
// checked as readDatabaseFileHeader does and a shared lock held so the file
// does not change size meanwhile.
struct OpenedDatabaseFile {
    File file;
    DatabaseFileHeader header;
};
OpenedDatabaseFile openDatabaseFileForReading(const std::filesystem::path &path);

// Reads the files an attach names, in any order, and checks that they are
// one data file and one log file of the same database (5173 otherwise).
DatabaseFilePair readDatabaseFilePair(const std::vector<std::filesystem::path> &paths);

// The checks of readDatabaseFileHeader, true or false, for tools that only
// ask whether a database is whole.
bool isWholeDatabaseFilePair(const std::filesystem::path &dataPath, const std::filesystem::path &logPath);

// Adds pages of log records to a log file (the file grows when they do not
// fit), as using a database does.
DatabaseFileHeader growLogFile(const std::filesystem::path &logPath, std::int64_t pages);

// Marks the log's records as no longer needed (CHECKPOINT followed by
// BACKUP LOG ... WITH TRUNCATE_ONLY): only the log's first pages stay in use.
DatabaseFileHeader truncateLogFile(const std::filesystem::path &logPath);
constexpr std::int64_t kActiveLogPagesAfterTruncate = 8;

// DBCC SHRINKFILE's figures, in 8-KB pages.
struct ShrinkFigures {
    int dbId = 0;
    int fileId = 0;
    std::int64_t currentSize = 0;
    std::int64_t minimumSize = 0;
    std::int64_t usedPages = 0;
    std::int64_t estimatedPages = 0;
};

// Shrinks a file toward targetMegabytes on disk, never below its pages in
// use. dbId is left for the caller.
ShrinkFigures shrinkDatabaseFile(const std::filesystem::path &path, std::int64_t targetMegabytes);

// The header page as stored (exposed for tests that damage it).
std::vector<std::uint8_t> encodeDatabaseFileHeader(const DatabaseFileHeader &header);

} // namespace sqlemu
