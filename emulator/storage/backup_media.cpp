#include "storage/backup_media.h"

#include "storage/binary_record.h"
#include "storage/collation.h"
#include "storage/crc32c.h"
#include "storage/file_io.h"
#include "storage/server_clock.h"
#include "storage/server_error.h"
#include "storage/storage_messages.h"
#include "storage/stream_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sqlemu {

namespace {

namespace msg = storage_messages;

constexpr char kMediaMagic[8] = {'S', 'Q', 'L', 'E', 'M', 'U', 'M', 'H'};
constexpr char kSetMagic[8] = {'S', 'Q', 'L', 'E', 'M', 'U', 'B', 'S'};
constexpr char kSlotMagic[4] = {'S', 'L', 'O', 'T'};
constexpr std::uint32_t kMediaFormatVersion = 1;
constexpr std::uint64_t kMediaHeaderBytes = 8192;
constexpr std::uint64_t kBlock = 8192;
constexpr std::uint64_t kSlotOffsets[2] = {512, 1024};
constexpr std::size_t kSlotBytes = 32;
constexpr std::size_t kFixedHeaderBytes = 40;

// A set header is found by its first fields: magic, version, the length of
// the encoded fields and of the block that holds them.
constexpr std::size_t kSetPrefixBytes = 8 + 4 + 4 + 4;

struct CommitSlot {
    std::uint64_t sequence = 0;
    std::uint64_t committedEnd = kMediaHeaderBytes;
    std::uint32_t setCount = 0;
};

struct MediaState {
    int currentSlot = -1; // the slot that holds the commit, -1 for none
    CommitSlot commit;
};

std::uint64_t roundUp(std::uint64_t value, std::uint64_t block)
{
    return (value + block - 1) / block * block;
}

// Not a medium of ours, or a damaged one: the error depends on who asks.
struct MediaMalformed {};

std::vector<std::uint8_t> encodeMediaHeader()
{
    RecordWriter w;
    w.raw(kMediaMagic, sizeof kMediaMagic);
    w.u32(kMediaFormatVersion);
    w.u32(0);
    const auto id = newFileFamilyId();
    w.raw(id.data(), id.size());
    w.i64(serverNow().millisecondsSince1900);
    w.u32(crc32c(w.bytes().data(), w.size()));
    w.bytes().resize(kMediaHeaderBytes, 0);
    return w.bytes();
}

std::vector<std::uint8_t> encodeSlot(const CommitSlot &slot)
{
    RecordWriter w;
    w.raw(kSlotMagic, sizeof kSlotMagic);
    w.u32(0);
    w.u64(slot.sequence);
    w.u64(slot.committedEnd);
    w.u32(slot.setCount);
    w.u32(crc32c(w.bytes().data(), w.size()));
    return w.bytes();
}

bool decodeSlot(const std::uint8_t *bytes, CommitSlot &slot)
{
    if (std::memcmp(bytes, kSlotMagic, sizeof kSlotMagic) != 0)
        return false;
    std::uint32_t stored;
    std::memcpy(&stored, bytes + kSlotBytes - 4, 4);
    if (crc32c(bytes, kSlotBytes - 4) != stored)
        return false;
    RecordReader r(bytes + 8, kSlotBytes - 8);
    slot.sequence = r.u64();
    slot.committedEnd = r.u64();
    slot.setCount = r.u32();
    return slot.committedEnd >= kMediaHeaderBytes;
}

// The commit slots that hold a valid commit, newest first.
std::vector<MediaState> readCommits(const File &media)
{
    std::vector<std::uint8_t> header(kMediaHeaderBytes);
    if (!media.readAt(0, header.data(), header.size()) || std::memcmp(header.data(), kMediaMagic, 8) != 0)
        throw MediaMalformed{};
    std::uint32_t stored;
    std::memcpy(&stored, header.data() + kFixedHeaderBytes, 4);
    if (crc32c(header.data(), kFixedHeaderBytes) != stored)
        throw MediaMalformed{};
    std::vector<MediaState> commits;
    for (int i = 0; i < 2; ++i) {
        CommitSlot slot;
        if (decodeSlot(header.data() + kSlotOffsets[i], slot))
            commits.push_back({i, slot});
    }
    std::sort(commits.begin(), commits.end(),
              [](const MediaState &a, const MediaState &b) { return a.commit.sequence > b.commit.sequence; });
    return commits;
}

// Writes the commit into the slot that does not hold the current one, so
// a torn write leaves the current commit readable.
void writeCommit(File &media, MediaState &state, std::uint64_t committedEnd, std::uint32_t setCount)
{
    const int slot = state.currentSlot == 0 ? 1 : 0;
    CommitSlot next{state.commit.sequence + 1, committedEnd, setCount};
    const auto bytes = encodeSlot(next);
    media.writeAt(kSlotOffsets[slot], bytes.data(), bytes.size());
    media.sync();
    state.currentSlot = slot;
    state.commit = next;
}

std::vector<std::uint8_t> encodeSetHeader(const BackupSetInfo &set)
{
    RecordWriter w;
    w.raw(kSetMagic, sizeof kSetMagic);
    w.u32(kMediaFormatVersion);
    w.u32(0); // encoded length, filled in below
    w.u32(0); // block length, filled in below
    w.u64(set.setLength);
    w.u32(static_cast<std::uint32_t>(set.position));
    w.u16(static_cast<std::uint16_t>(set.backupType));
    w.text(set.name);
    w.text(set.description);
    w.text(set.databaseName);
    w.text(set.serverName);
    w.text(set.userName);
    w.text(set.productVersion);
    w.u32(static_cast<std::uint32_t>(set.databaseVersion));
    w.u32(static_cast<std::uint32_t>(set.compatibilityLevel));
    w.i64(set.databaseCreated.millisecondsSince1900);
    w.i64(set.backupStart.millisecondsSince1900);
    w.i64(set.backupFinish.millisecondsSince1900);
    w.raw(set.familyId.data(), set.familyId.size());
    w.u32(static_cast<std::uint32_t>(set.files.size()));
    for (const auto &f : set.files) {
        w.u32(static_cast<std::uint32_t>(f.fileId));
        w.u8(f.type == DatabaseFileType::Log ? 2 : 1);
        w.text(f.logicalName);
        w.text(f.physicalName);
        w.i64(f.sizePages);
        w.i64(f.usedPages);
        w.u64(f.dataOffset);
        w.u64(f.byteLength);
        w.u32(f.checksum);
    }
    auto &bytes = w.bytes();
    const auto encoded = static_cast<std::uint32_t>(bytes.size());
    const auto block = static_cast<std::uint32_t>(roundUp(encoded + 4, kBlock));
    std::memcpy(bytes.data() + 12, &encoded, 4);
    std::memcpy(bytes.data() + 16, &block, 4);
    w.u32(crc32c(bytes.data(), bytes.size()));
    bytes.resize(block, 0);
    return bytes;
}

std::uint32_t setHeaderBlockBytes(const BackupSetInfo &set)
{
    return static_cast<std::uint32_t>(encodeSetHeader(set).size());
}

BackupSetInfo readSetHeader(const File &media, std::uint64_t offset, std::uint64_t committedEnd)
{
    std::uint8_t prefix[kSetPrefixBytes];
    if (offset + kSetPrefixBytes > committedEnd || !media.readAt(offset, prefix, sizeof prefix)
        || std::memcmp(prefix, kSetMagic, 8) != 0)
        throw MediaMalformed{};
    RecordReader p(prefix + 8, sizeof prefix - 8);
    p.u32();
    const std::uint32_t encoded = p.u32();
    const std::uint32_t block = p.u32();
    if (encoded < kSetPrefixBytes || block < encoded + 4 || block > (64u << 20) || offset + block > committedEnd)
        throw MediaMalformed{};
    std::vector<std::uint8_t> bytes(encoded + 4);
    if (!media.readAt(offset, bytes.data(), bytes.size()))
        throw MediaMalformed{};
    std::uint32_t stored;
    std::memcpy(&stored, bytes.data() + encoded, 4);
    if (crc32c(bytes.data(), encoded) != stored)
        throw MediaMalformed{};

    RecordReader r(bytes.data() + kSetPrefixBytes, encoded - kSetPrefixBytes);
    BackupSetInfo set;
    set.setOffset = offset;
    set.setLength = r.u64();
    set.position = static_cast<int>(r.u32());
    set.backupType = r.u16();
    set.name = r.text();
    set.description = r.text();
    set.databaseName = r.text();
    set.serverName = r.text();
    set.userName = r.text();
    set.productVersion = r.text();
    set.databaseVersion = static_cast<int>(r.u32());
    set.compatibilityLevel = static_cast<int>(r.u32());
    set.databaseCreated = DateTimeValue{r.i64()};
    set.backupStart = DateTimeValue{r.i64()};
    set.backupFinish = DateTimeValue{r.i64()};
    r.raw(set.familyId.data(), set.familyId.size());
    const std::uint32_t count = r.u32();
    for (std::uint32_t i = 0; i < count && !r.failed(); ++i) {
        BackupFileEntry f;
        f.fileId = static_cast<int>(r.u32());
        f.type = r.u8() == 2 ? DatabaseFileType::Log : DatabaseFileType::Data;
        f.logicalName = r.text();
        f.physicalName = r.text();
        f.sizePages = r.i64();
        f.usedPages = r.i64();
        f.dataOffset = r.u64();
        f.byteLength = r.u64();
        f.checksum = r.u32();
        if (f.dataOffset < block || f.dataOffset + f.byteLength > set.setLength)
            throw MediaMalformed{};
        set.files.push_back(std::move(f));
    }
    if (r.failed() || set.setLength < block || offset + set.setLength > committedEnd)
        throw MediaMalformed{};
    return set;
}

// Every committed set, checked to end exactly where the commit says.
std::vector<BackupSetInfo> walkSets(const File &media, const MediaState &state)
{
    std::vector<BackupSetInfo> sets;
    std::uint64_t offset = kMediaHeaderBytes;
    for (std::uint32_t i = 0; i < state.commit.setCount; ++i) {
        auto set = readSetHeader(media, offset, state.commit.committedEnd);
        if (set.position != static_cast<int>(i + 1))
            throw MediaMalformed{};
        offset += set.setLength;
        sets.push_back(std::move(set));
    }
    if (offset != state.commit.committedEnd)
        throw MediaMalformed{};
    return sets;
}

// The newest commit whose sets are whole. A commit that names sets that
// are not there (its write reached the slot but the sets were cut off after
// a failed flush) gives way to the one before it.
struct LoadedMedia {
    MediaState state;
    std::vector<BackupSetInfo> sets;
};

LoadedMedia loadMedia(const File &media)
{
    for (const auto &state : readCommits(media)) {
        try {
            return {state, walkSets(media, state)};
        } catch (const MediaMalformed &) {}
    }
    throw MediaMalformed{};
}

// The sources of a backup, open and locked for its whole length.
struct BackupSources {
    std::vector<OpenedDatabaseFile> files;
    std::uint64_t totalBytes = 0;
};

BackupSources openSources(const BackupSetDescription &description)
{
    BackupSources sources;
    for (const auto &path : description.files) {
        sources.files.push_back(openDatabaseFileForReading(path));
        sources.totalBytes += static_cast<std::uint64_t>(sources.files.back().header.sizePages * kPageSize);
    }
    return sources;
}

BackupSetInfo describeSet(const BackupSetDescription &description, const BackupSources &sources, int position,
                          std::uint64_t offset)
{
    BackupSetInfo set;
    set.position = position;
    set.name = description.name;
    set.description = description.description;
    set.databaseName = description.databaseName;
    set.serverName = description.serverName;
    set.userName = description.userName;
    set.productVersion = description.productVersion;
    set.databaseVersion = description.databaseVersion;
    set.compatibilityLevel = description.compatibilityLevel;
    set.databaseCreated = description.databaseCreated;
    set.backupStart = serverNow();
    set.backupFinish = set.backupStart;
    set.setOffset = offset;
    if (!sources.files.empty())
        set.familyId = sources.files.front().header.familyId;
    for (std::size_t i = 0; i < sources.files.size(); ++i) {
        const auto &h = sources.files[i].header;
        BackupFileEntry f;
        f.fileId = h.fileId;
        f.type = h.type;
        f.logicalName = h.logicalName;
        f.physicalName = description.files[i].string();
        f.sizePages = h.sizePages;
        f.usedPages = h.usedPages;
        f.byteLength = static_cast<std::uint64_t>(h.sizePages * kPageSize);
        set.files.push_back(std::move(f));
    }
    // The header block's size depends on the names only, so the layout can
    // be fixed before any byte is written.
    std::uint64_t at = setHeaderBlockBytes(set);
    for (auto &f : set.files) {
        f.dataOffset = at;
        at += f.byteLength;
    }
    set.setLength = at;
    return set;
}

// Streams the files behind the set's header, then writes the header with
// the checksums and the finish time. Nothing here is visible to readers
// until the caller commits.
void writeSet(File &media, BackupSetInfo &set, BackupSources &sources, const OperationProgress &progress)
{
    ProgressMeter meter(progress, sources.totalBytes);
    meter.checkCancelled();
    for (std::size_t i = 0; i < set.files.size(); ++i) {
        auto &entry = set.files[i];
        entry.checksum
            = streamCopy(sources.files[i].file, 0, media, set.setOffset + entry.dataOffset, entry.byteLength, meter);
    }
    set.backupFinish = serverNow();
    const auto header = encodeSetHeader(set);
    media.writeAt(set.setOffset, header.data(), header.size());
    media.sync();
    meter.checkCancelled();
}

// Maps a failed system call during a backup to the server's message.
[[noreturn]] void throwBackupIoError(const FileIoError &e, const std::filesystem::path &mediaPath,
                                     const std::filesystem::path &partialPath)
{
    if (e.path() == mediaPath || e.path() == partialPath)
        throw ServerError(msg::writeFailed(mediaPath.string(), e.osError()));
    throw ServerError(msg::readFailed(e.path().string(), e.osError()));
}

BackupSetInfo appendToNewMedia(const std::filesystem::path &mediaPath, const BackupSetDescription &description,
                               BackupSources &sources, const OperationProgress &progress, bool &lostRace)
{
    const auto partial = partialPathFor(mediaPath);
    File media;
    try {
        media = File::createNew(partial);
    } catch (const FileIoError &e) {
        throw ServerError(msg::cannotOpenBackupDevice(mediaPath.string(), windowsError(e.errnoValue(), mediaPath), 1));
    }
    try {
        const auto header = encodeMediaHeader();
        media.writeAt(0, header.data(), header.size());
        MediaState state;
        state.currentSlot = 1; // so the first commit goes to slot 0
        auto set = describeSet(description, sources, 1, kMediaHeaderBytes);
        writeSet(media, set, sources, progress);
        writeCommit(media, state, set.setOffset + set.setLength, 1);
        try {
            renameNoReplace(partial, mediaPath);
        } catch (const FileIoError &e) {
            if (e.errnoValue() != EEXIST)
                throw;
            // Another backup created the medium meanwhile: append to it.
            lostRace = true;
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return {};
        }
        syncFolder(mediaPath.parent_path());
        return set;
    } catch (const FileIoError &e) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throwBackupIoError(e, mediaPath, partial);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        throw;
    }
}

BackupSetInfo appendToExistingMedia(File &media, const std::filesystem::path &mediaPath,
                                    const BackupSetDescription &description, BackupSources &sources,
                                    const OperationProgress &progress)
{
    media.lockExclusive();
    MediaState state;
    std::vector<BackupSetInfo> sets;
    try {
        if (media.size() == 0) {
            // An empty file becomes a medium without sets first; a kill
            // after that leaves an empty medium, not a damaged one.
            const auto header = encodeMediaHeader();
            media.writeAt(0, header.data(), header.size());
            state.currentSlot = 1;
            writeCommit(media, state, kMediaHeaderBytes, 0);
        }
        try {
            auto loaded = loadMedia(media);
            state = loaded.state;
            sets = std::move(loaded.sets);
        } catch (const MediaMalformed &) {
            throw ServerError(msg::backupDataAtEndIncorrect(mediaPath.string()));
        }
    } catch (const FileIoError &e) {
        throw ServerError(msg::cannotOpenBackupDevice(mediaPath.string(), e.osError(), 1));
    }

    const std::uint64_t committedEnd = state.commit.committedEnd;
    try {
        // Bytes past the commit are what a killed append left.
        if (media.size() > committedEnd)
            media.truncate(committedEnd);
        auto set = describeSet(description, sources, static_cast<int>(sets.size()) + 1, committedEnd);
        writeSet(media, set, sources, progress);
        writeCommit(media, state, committedEnd + set.setLength, state.commit.setCount + 1);
        return set;
    } catch (...) {
        // Whatever was written past the commit goes; the sets stay.
        try {
            if (state.commit.committedEnd == committedEnd) {
                media.truncate(committedEnd);
                media.sync();
            }
        } catch (const StorageError &) {}
        try {
            throw;
        } catch (const FileIoError &e) {
            throwBackupIoError(e, mediaPath, {});
        }
    }
}

File openMediaForReading(const std::filesystem::path &mediaPath)
{
    try {
        File media = File::openForReading(mediaPath);
        media.lockShared();
        return media;
    } catch (const FileIoError &e) {
        throw ServerError(msg::cannotOpenBackupDevice(mediaPath.string(), e.osError(), 2));
    }
}

std::vector<BackupSetInfo> readSets(const File &media, const std::filesystem::path &mediaPath)
{
    try {
        if (media.size() == 0)
            throw ServerError(msg::volumeEmpty(mediaPath.string()));
        auto sets = loadMedia(media).sets;
        if (sets.empty())
            throw ServerError(msg::volumeEmpty(mediaPath.string()));
        return sets;
    } catch (const MediaMalformed &) {
        throw ServerError(msg::mediaFamilyIncorrectlyFormed(mediaPath.string()));
    } catch (const FileIoError &e) {
        throw ServerError(msg::readFailed(mediaPath.string(), e.osError()));
    }
}

BackupSetInfo pickSet(std::vector<BackupSetInfo> sets, int position, const std::filesystem::path &mediaPath)
{
    if (position < 1 || position > static_cast<int>(sets.size()))
        throw ServerError(msg::noSuchBackupSet(position, mediaPath.string()));
    return std::move(sets[static_cast<std::size_t>(position - 1)]);
}

} // namespace

const BackupFileEntry *BackupSetInfo::fileByLogicalName(std::string_view logical) const
{
    for (const auto &f : files)
        if (sameName(f.logicalName, logical))
            return &f;
    return nullptr;
}

BackupSetInfo appendBackupSet(const std::filesystem::path &mediaPath, const BackupSetDescription &description,
                              const OperationProgress &progress)
{
    auto sources = openSources(description);
    removeLeftoverPartials(mediaPath);
    for (int attempt = 0; attempt < 2; ++attempt) {
        File media;
        try {
            media = File::openForUpdate(mediaPath);
        } catch (const FileIoError &e) {
            if (e.errnoValue() != ENOENT)
                throw ServerError(msg::cannotOpenBackupDevice(mediaPath.string(), e.osError(), 1));
        }
        if (media.isOpen())
            return appendToExistingMedia(media, mediaPath, description, sources, progress);
        bool lostRace = false;
        auto set = appendToNewMedia(mediaPath, description, sources, progress, lostRace);
        if (!lostRace)
            return set;
    }
    throw ServerError(msg::cannotOpenBackupDevice(mediaPath.string(), windowsError(EBUSY), 1));
}

std::vector<BackupSetInfo> readBackupSets(const std::filesystem::path &mediaPath)
{
    const File media = openMediaForReading(mediaPath);
    return readSets(media, mediaPath);
}

BackupSetInfo readBackupSet(const std::filesystem::path &mediaPath, int position)
{
    return pickSet(readBackupSets(mediaPath), position, mediaPath);
}

void verifyBackupSet(const std::filesystem::path &mediaPath, int position, const OperationProgress &progress)
{
    const File media = openMediaForReading(mediaPath);
    const auto set = pickSet(readSets(media, mediaPath), position, mediaPath);
    std::uint64_t total = 0;
    for (const auto &f : set.files)
        total += f.byteLength;
    ProgressMeter meter(progress, total);
    try {
        for (const auto &f : set.files)
            if (streamChecksum(media, set.setOffset + f.dataOffset, f.byteLength, meter) != f.checksum)
                throw ServerError(msg::backupSetDamaged());
    } catch (const FileIoError &e) {
        throw ServerError(msg::readFailed(mediaPath.string(), e.osError()));
    }
}

BackupSetInfo restoreBackupSet(const std::filesystem::path &mediaPath, int position,
                               const std::vector<std::filesystem::path> &targets, const OperationProgress &progress)
{
    const File media = openMediaForReading(mediaPath);
    auto set = pickSet(readSets(media, mediaPath), position, mediaPath);
    if (targets.size() != set.files.size())
        throw StorageError("A restore needs one target per file of the backup set");

    std::uint64_t total = 0;
    for (const auto &f : set.files)
        total += f.byteLength;
    ProgressMeter meter(progress, total);

    std::vector<std::filesystem::path> partials;
    auto removePartials = [&partials] {
        std::error_code ignored;
        for (const auto &p : partials)
            std::filesystem::remove(p, ignored);
    };
    try {
        for (std::size_t i = 0; i < set.files.size(); ++i) {
            const auto &entry = set.files[i];
            const auto &target = targets[i];
            removeLeftoverPartials(target);
            partials.push_back(partialPathFor(target));
            File out;
            try {
                out = File::createNew(partials.back());
            } catch (const FileIoError &e) {
                partials.pop_back();
                throw ServerError({msg::directoryLookupFailed(target.string(), windowsError(e.errnoValue(), target)),
                                   msg::fileCannotBeRestored(entry.logicalName, target.string(), 3)});
            }
            try {
                const auto crc = streamCopy(media, set.setOffset + entry.dataOffset, out, 0, entry.byteLength, meter);
                if (crc != entry.checksum)
                    throw ServerError(msg::backupSetDamaged());
                out.sync();
            } catch (const FileIoError &e) {
                if (e.path() == mediaPath)
                    throw ServerError(msg::readFailed(mediaPath.string(), e.osError()));
                throw ServerError(msg::writeFailed(target.string(), e.osError()));
            }
        }
        for (std::size_t i = 0; i < targets.size(); ++i) {
            renameReplacing(partials[i], targets[i]);
            syncFolder(targets[i].parent_path());
        }
    } catch (...) {
        removePartials();
        throw;
    }
    return set;
}

} // namespace sqlemu
