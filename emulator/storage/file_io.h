#pragma once

#include "storage/storage_error.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace sqlemu {

// Every file the server creates (backups, restored and attached database
// files, its catalogue and journals): its owner reads and writes, its group
// reads, others nothing. Databases and backups are the users' data, never
// for every account of the computer to read.
constexpr unsigned kCreatedFileMode = 0640;

// An operating-system error as a Windows server reports it: its number and
// its wording, e.g. 2 and "The system cannot find the file specified.".
struct OsError {
    int code = 0;
    std::string text;

    // "2(The system cannot find the file specified.)", the form the server's
    // messages embed.
    std::string numbered() const { return std::to_string(code) + "(" + text + ")"; }
};

// The Windows error a Linux errno stands for. A missing file whose folder is
// missing too is "path not found" (3), as on Windows.
OsError windowsError(int errnoValue, const std::filesystem::path &path = {});

// A failed system call on a file; carries errno so callers can report it in
// the server's terms.
class FileIoError : public StorageError {
public:
    FileIoError(const std::string &what, const std::filesystem::path &path, int errnoValue);
    int errnoValue() const { return m_errno; }
    const std::filesystem::path &path() const { return m_path; }
    OsError osError() const { return windowsError(m_errno, m_path); }

private:
    std::filesystem::path m_path;
    int m_errno;
};

// An open file descriptor, closed on every path out. Reads and writes loop
// over short transfers and EINTR; every failure throws FileIoError.
class File {
public:
    File() = default;
    ~File();
    File(File &&other) noexcept;
    File &operator=(File &&other) noexcept;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    static File openForReading(const std::filesystem::path &path);
    static File openForUpdate(const std::filesystem::path &path);
    // Fails (EEXIST) when the file is already there.
    static File createNew(const std::filesystem::path &path);

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    const std::filesystem::path &path() const { return m_path; }

    std::uint64_t size() const;
    // Reads exactly size bytes at offset; false when the file ends first.
    bool readAt(std::uint64_t offset, void *buffer, std::size_t size) const;
    void writeAt(std::uint64_t offset, const void *buffer, std::size_t size);
    void truncate(std::uint64_t size);
    void sync();
    // Starts writing a range to disk without waiting, so that a later
    // sync() has less left to do.
    void startWriteback(std::uint64_t offset, std::uint64_t size);
    // Tells the kernel the file is read front to back, once.
    void adviseSequential() const;
    // An advisory lock for the life of the descriptor.
    void lockExclusive();
    void lockShared();
    void close();

private:
    File(int fd, std::filesystem::path path)
        : m_fd(fd)
        , m_path(std::move(path))
    {}
    int m_fd = -1;
    std::filesystem::path m_path;
};

// Makes a rename or a removal in folder durable. Best effort: some file
// systems refuse fsync on folders.
void syncFolder(const std::filesystem::path &folder);

// A hidden name beside target for a file that is written whole before it is
// renamed to target, unique to this process and call. A kill leaves it
// behind; removeLeftoverPartials, called by the next writer in that folder,
// removes those of processes that no longer run.
std::filesystem::path partialPathFor(const std::filesystem::path &target);
// Whose are the partial files that bear this process's id: its own
// operations' (Live), or, at start-up before any operation, an earlier
// server's that had the same id (LeftBehind; a container's first process is
// always 1).
enum class OwnPartials { Live, LeftBehind };
void removeLeftoverPartials(const std::filesystem::path &target, OwnPartials own = OwnPartials::Live);
// The same for a folder; true when none of our partial files is left in it
// (a folder that does not exist is clean, one that cannot be read is not).
bool removeLeftoverPartialsIn(const std::filesystem::path &folder, OwnPartials own = OwnPartials::Live);

// rename(2) that refuses to replace an existing target (EEXIST).
void renameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to);
void renameReplacing(const std::filesystem::path &from, const std::filesystem::path &to);

} // namespace sqlemu
