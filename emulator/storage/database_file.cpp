#include "storage/database_file.h"

#include "storage/binary_record.h"
#include "storage/crc32c.h"
#include "storage/file_io.h"
#include "storage/server_clock.h"
#include "storage/server_error.h"
#include "storage/storage_messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

namespace sqlemu {

namespace {

namespace msg = storage_messages;

constexpr char kMagic[8] = {'S', 'Q', 'L', 'E', 'M', 'U', 'D', 'F'};
constexpr std::uint16_t kPageTypeData = 1;
constexpr std::uint16_t kPageTypeLog = 2;
constexpr std::size_t kFormatChunkPages = 128; // 1 MB per write while formatting

std::uint8_t typeCode(DatabaseFileType type)
{
    return type == DatabaseFileType::Log ? 2 : 1;
}

// Every page after the header starts with its number, its file and its
// kind, as a real server's page header does; the rest is free space.
void formatPages(std::vector<std::uint8_t> &buffer, std::int64_t firstPage, std::int64_t count, int fileId,
                 DatabaseFileType type)
{
    buffer.assign(static_cast<std::size_t>(count * kPageSize), 0);
    for (std::int64_t i = 0; i < count; ++i) {
        RecordWriter w;
        w.u32(static_cast<std::uint32_t>(firstPage + i));
        w.u16(static_cast<std::uint16_t>(fileId));
        w.u16(type == DatabaseFileType::Log ? kPageTypeLog : kPageTypeData);
        std::memcpy(buffer.data() + i * kPageSize, w.bytes().data(), w.size());
    }
}

void writeFormattedPages(File &file, std::int64_t firstPage, std::int64_t endPage, int fileId, DatabaseFileType type)
{
    std::vector<std::uint8_t> buffer;
    for (std::int64_t page = firstPage; page < endPage;) {
        const auto count = std::min<std::int64_t>(kFormatChunkPages, endPage - page);
        formatPages(buffer, page, count, fileId, type);
        file.writeAt(static_cast<std::uint64_t>(page * kPageSize), buffer.data(), buffer.size());
        page += count;
    }
}

void writeHeader(File &file, const DatabaseFileHeader &header)
{
    const auto page = encodeDatabaseFileHeader(header);
    file.writeAt(0, page.data(), page.size());
}

std::string logicalOrDefault(const std::string &logical, const std::string &name, const char *suffix)
{
    return logical.empty() ? name + suffix : logical;
}

DatabaseFileHeader newHeader(const NewDatabaseFiles &request, DatabaseFileType type, const FileFamilyId &family,
                             DateTimeValue created)
{
    DatabaseFileHeader h;
    h.type = type;
    h.fileId = type == DatabaseFileType::Data ? 1 : 2;
    h.familyId = family;
    h.databaseName = request.name;
    h.created = created;
    if (type == DatabaseFileType::Data) {
        h.logicalName = logicalOrDefault(request.logicalDataName, request.name, "_Data");
        h.sizePages = std::max<std::int64_t>(1, request.dataSizeMegabytes) * kPagesPerMegabyte;
        h.usedPages = h.sizePages;
    } else {
        h.logicalName = logicalOrDefault(request.logicalLogName, request.name, "_log");
        h.sizePages = std::max<std::int64_t>(1, request.logSizeMegabytes) * kPagesPerMegabyte;
        h.usedPages = std::min(h.sizePages, kActiveLogPagesAfterTruncate);
    }
    h.minimumPages = h.sizePages;
    return h;
}

// Writes one new file under a hidden name; the caller renames it.
std::filesystem::path writeNewFile(const std::filesystem::path &target, const DatabaseFileHeader &header)
{
    removeLeftoverPartials(target);
    auto partial = partialPathFor(target);
    try {
        File file = File::createNew(partial);
        writeHeader(file, header);
        writeFormattedPages(file, 1, header.sizePages, header.fileId, header.type);
        file.sync();
    } catch (const FileIoError &e) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw ServerError(msg::createFileFailed(target.string(), windowsError(e.errnoValue(), target)));
    }
    return partial;
}

File openExisting(const std::filesystem::path &path, bool forUpdate)
{
    try {
        return forUpdate ? File::openForUpdate(path) : File::openForReading(path);
    } catch (const FileIoError &e) {
        throw ServerError(msg::cannotOpenPhysicalFile(path.string(), e.osError()));
    }
}

DatabaseFileHeader readHeader(const File &file)
{
    const std::string path = file.path().string();
    std::vector<std::uint8_t> page(kPageSize);
    bool whole = false;
    try {
        whole = file.readAt(0, page.data(), page.size());
    } catch (const FileIoError &e) {
        throw ServerError(msg::cannotOpenPhysicalFile(path, e.osError()));
    }
    if (!whole || std::memcmp(page.data(), kMagic, sizeof kMagic) != 0)
        throw ServerError({msg::invalidFileHeader(path, "PageAudit")});

    RecordReader r(page.data(), page.size());
    char magic[8];
    r.raw(magic, sizeof magic);
    DatabaseFileHeader h;
    h.formatVersion = r.u32();
    const std::uint32_t headerBytes = r.u32();
    if (headerBytes < 16 || headerBytes > page.size() - 4)
        throw ServerError(msg::invalidFileHeader(path, "CHECKSUM"));
    std::uint32_t stored;
    std::memcpy(&stored, page.data() + headerBytes, 4);
    if (crc32c(page.data(), headerBytes) != stored)
        throw ServerError(msg::invalidFileHeader(path, "CHECKSUM"));
    if (h.formatVersion > kDatabaseFileFormatVersion) {
        RecordReader peek(page.data() + 72, headerBytes - 72);
        throw ServerError(msg::newerDatabaseVersion(peek.text(), static_cast<int>(h.formatVersion),
                                                    static_cast<int>(kDatabaseFileFormatVersion)));
    }
    const std::uint8_t type = r.u8();
    r.u8();
    r.u16();
    h.type = type == 2 ? DatabaseFileType::Log : DatabaseFileType::Data;
    h.fileId = static_cast<int>(r.u32());
    r.raw(h.familyId.data(), h.familyId.size());
    h.sizePages = r.i64();
    h.usedPages = r.i64();
    h.minimumPages = r.i64();
    h.created = DateTimeValue{r.i64()};
    h.databaseName = r.text();
    h.logicalName = r.text();
    if (r.failed() || (type != 1 && type != 2) || h.sizePages < 1 || h.usedPages < 1 || h.usedPages > h.sizePages)
        throw ServerError(msg::invalidFileHeader(path, "CHECKSUM"));
    std::uint64_t length = 0;
    try {
        length = file.size();
    } catch (const FileIoError &e) {
        throw ServerError(msg::cannotOpenPhysicalFile(path, e.osError()));
    }
    if (length < static_cast<std::uint64_t>(h.sizePages * kPageSize))
        throw ServerError(msg::invalidFileHeader(path, "FILE SIZE"));
    return h;
}

// Changes a file's size and header so that a kill between the two steps
// leaves a file at least as long as its header says.
void resizeFile(File &file, DatabaseFileHeader &header, std::int64_t newSizePages)
{
    if (newSizePages > header.sizePages) {
        // A longer tail left by an earlier kill is formatted again.
        writeFormattedPages(file, header.sizePages, newSizePages, header.fileId, header.type);
        file.sync();
        header.sizePages = newSizePages;
        writeHeader(file, header);
        file.sync();
    } else {
        header.sizePages = newSizePages;
        writeHeader(file, header);
        file.sync();
    }
    file.truncate(static_cast<std::uint64_t>(header.sizePages * kPageSize));
}

} // namespace

FileFamilyId newFileFamilyId()
{
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    FileFamilyId id;
    for (std::size_t i = 0; i < id.size(); i += 8) {
        const auto v = generator();
        std::memcpy(id.data() + i, &v, 8);
    }
    return id;
}

std::vector<std::uint8_t> encodeDatabaseFileHeader(const DatabaseFileHeader &h)
{
    RecordWriter w;
    w.raw(kMagic, sizeof kMagic);
    w.u32(h.formatVersion);
    w.u32(0); // header length, filled in below
    w.u8(typeCode(h.type));
    w.u8(0);
    w.u16(0);
    w.u32(static_cast<std::uint32_t>(h.fileId));
    w.raw(h.familyId.data(), h.familyId.size());
    w.i64(h.sizePages);
    w.i64(h.usedPages);
    w.i64(h.minimumPages);
    w.i64(h.created.millisecondsSince1900);
    w.text(h.databaseName);
    w.text(h.logicalName);
    auto &bytes = w.bytes();
    const auto length = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(bytes.data() + 12, &length, 4);
    const std::uint32_t checksum = crc32c(bytes.data(), bytes.size());
    w.u32(checksum);
    bytes.resize(kPageSize, 0);
    return bytes;
}

std::vector<DatabaseFile> DatabaseFilePair::catalogueFiles() const
{
    std::vector<DatabaseFile> files;
    for (const auto *h : {&data, &log}) {
        DatabaseFile f;
        f.fileId = h->fileId;
        f.type = h->type;
        f.logicalName = h->logicalName;
        f.physicalName = (h == &data ? dataPath : logPath).string();
        f.sizePages = h->sizePages;
        files.push_back(std::move(f));
    }
    return files;
}

DatabaseFilePair createDatabaseFiles(const NewDatabaseFiles &request)
{
    const auto dataPath = std::filesystem::absolute(request.dataPath);
    const auto logPath = std::filesystem::absolute(request.logPath);
    for (const auto &target : {dataPath, logPath}) {
        std::error_code error;
        if (std::filesystem::exists(target, error))
            throw ServerError(msg::cannotCreateFile(target.string()));
    }
    const auto family = newFileFamilyId();
    const auto created = serverNow();
    DatabaseFilePair pair{dataPath, logPath, newHeader(request, DatabaseFileType::Data, family, created),
                          newHeader(request, DatabaseFileType::Log, family, created)};

    const auto dataPartial = writeNewFile(dataPath, pair.data);
    std::filesystem::path logPartial;
    const auto removeAll = [&](std::initializer_list<std::filesystem::path> paths) {
        std::error_code ignored;
        for (const auto &p : paths)
            if (!p.empty())
                std::filesystem::remove(p, ignored);
    };
    try {
        logPartial = writeNewFile(logPath, pair.log);
    } catch (...) {
        removeAll({dataPartial});
        throw;
    }
    // Renamed only into free names: a file that appeared meanwhile is kept.
    try {
        renameNoReplace(dataPartial, dataPath);
    } catch (const FileIoError &) {
        removeAll({dataPartial, logPartial});
        throw ServerError(msg::cannotCreateFile(dataPath.string()));
    }
    try {
        renameNoReplace(logPartial, logPath);
    } catch (const FileIoError &) {
        removeAll({logPartial, dataPath});
        throw ServerError(msg::cannotCreateFile(logPath.string()));
    }
    syncFolder(dataPath.parent_path());
    if (logPath.parent_path() != dataPath.parent_path())
        syncFolder(logPath.parent_path());
    return pair;
}

DatabaseFileHeader readDatabaseFileHeader(const std::filesystem::path &path)
{
    const File file = openExisting(path, false);
    return readHeader(file);
}

OpenedDatabaseFile openDatabaseFileForReading(const std::filesystem::path &path)
{
    File file = openExisting(path, false);
    file.lockShared();
    DatabaseFileHeader header = readHeader(file);
    return {std::move(file), std::move(header)};
}

DatabaseFilePair readDatabaseFilePair(const std::vector<std::filesystem::path> &paths)
{
    std::vector<std::pair<std::filesystem::path, DatabaseFileHeader>> files;
    files.reserve(paths.size());
    for (const auto &path : paths)
        files.emplace_back(path, readDatabaseFileHeader(path));
    if (files.size() != 2 || files[0].second.type == files[1].second.type
        || files[0].second.familyId != files[1].second.familyId)
        throw ServerError(msg::filesDoNotMatch());
    if (files[0].second.type == DatabaseFileType::Log)
        std::swap(files[0], files[1]);
    return {files[0].first, files[1].first, files[0].second, files[1].second};
}

bool isWholeDatabaseFilePair(const std::filesystem::path &dataPath, const std::filesystem::path &logPath)
{
    try {
        const auto pair = readDatabaseFilePair({dataPath, logPath});
        return pair.dataPath == dataPath && pair.data.type == DatabaseFileType::Data;
    } catch (const StorageError &) {
        return false;
    }
}

DatabaseFileHeader growLogFile(const std::filesystem::path &logPath, std::int64_t pages)
{
    File file = openExisting(logPath, true);
    file.lockExclusive();
    DatabaseFileHeader header = readHeader(file);
    if (pages <= 0)
        return header;
    const std::int64_t needed = header.usedPages + pages;
    if (needed > header.sizePages) {
        // Grow by a tenth at least, as a log with 10% growth does.
        const std::int64_t grown
            = std::max(needed, header.sizePages + std::max<std::int64_t>(1, header.sizePages / 10));
        resizeFile(file, header, grown);
    }
    header.usedPages = needed;
    writeHeader(file, header);
    file.sync();
    return header;
}

DatabaseFileHeader truncateLogFile(const std::filesystem::path &logPath)
{
    File file = openExisting(logPath, true);
    file.lockExclusive();
    DatabaseFileHeader header = readHeader(file);
    header.usedPages = std::min(header.sizePages, kActiveLogPagesAfterTruncate);
    writeHeader(file, header);
    file.sync();
    return header;
}

ShrinkFigures shrinkDatabaseFile(const std::filesystem::path &path, std::int64_t targetMegabytes)
{
    File file = openExisting(path, true);
    file.lockExclusive();
    DatabaseFileHeader header = readHeader(file);
    const std::int64_t target = std::max<std::int64_t>(0, targetMegabytes) * kPagesPerMegabyte;
    const std::int64_t newSize = std::max(target, header.usedPages);
    if (newSize < header.sizePages)
        resizeFile(file, header, newSize);
    else if (file.size() > static_cast<std::uint64_t>(header.sizePages * kPageSize))
        file.truncate(static_cast<std::uint64_t>(header.sizePages * kPageSize));
    ShrinkFigures figures;
    figures.fileId = header.fileId;
    figures.currentSize = header.sizePages;
    figures.minimumSize = header.minimumPages;
    figures.usedPages = header.usedPages;
    figures.estimatedPages = header.usedPages;
    return figures;
}

} // namespace sqlemu
