#include "storage/file_io.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sqlemu {

namespace {

std::string systemMessage(int errnoValue)
{
    return std::strerror(errnoValue);
}

bool folderExists(const std::filesystem::path &path)
{
    const auto folder = path.parent_path();
    if (folder.empty())
        return true;
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const std::string kPartialMarker = ".sqlemu-partial-";

} // namespace

OsError windowsError(int errnoValue, const std::filesystem::path &path)
{
    switch (errnoValue) {
    case ENOENT:
        if (!path.empty() && !folderExists(path))
            return {3, "The system cannot find the path specified."};
        return {2, "The system cannot find the file specified."};
    case ENOTDIR:
        return {3, "The system cannot find the path specified."};
    case EACCES:
    case EPERM:
    case EISDIR:
        return {5, "Access is denied."};
    case EEXIST:
        return {80, "The file exists."};
    case ENOSPC:
    case EDQUOT:
        return {112, "There is not enough space on the disk."};
    case EROFS:
        return {19, "The media is write protected."};
    case ENAMETOOLONG:
        return {206, "The filename or extension is too long."};
    case EBUSY:
    case ETXTBSY:
        return {32, "The process cannot access the file because it is being used by another process."};
    case EMFILE:
    case ENFILE:
        return {4, "The system cannot open the file."};
    default:
        return {1117, "The request could not be performed because of an I/O device error."};
    }
}

FileIoError::FileIoError(const std::string &what, const std::filesystem::path &path, int errnoValue)
    : StorageError(what + " " + path.string() + ": " + systemMessage(errnoValue))
    , m_path(path)
    , m_errno(errnoValue)
{}

File::~File()
{
    close();
}

File::File(File &&other) noexcept
    : m_fd(other.m_fd)
    , m_path(std::move(other.m_path))
{
    other.m_fd = -1;
}

File &File::operator=(File &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

void File::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

namespace {

// Why a file that is there cannot serve as a database file or a backup
// medium: only regular files can. A folder is refused as Windows refuses
// it; a pipe, a socket or a device the same way.
int notRegularError(const struct stat &st)
{
    return S_ISDIR(st.st_mode) ? EISDIR : EACCES;
}

// Statements name any path they like. A pipe would block open() (and the
// session, and the server's stop) until some writer came, and a device
// would feed endless bytes or act on being opened: they are looked at before
// being opened, opened without waiting, and checked again once open.
int openRegularFile(const std::filesystem::path &path, int flags)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw FileIoError("Cannot open", path, notRegularError(st));
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw FileIoError("Cannot open", path, errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = notRegularError(st);
        ::close(fd);
        throw FileIoError("Cannot open", path, error);
    }
    // Regular files ignore the flag, but nothing later should see it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

File File::openForReading(const std::filesystem::path &path)
{
    return File(openRegularFile(path, O_RDONLY), path);
}

File File::openForUpdate(const std::filesystem::path &path)
{
    return File(openRegularFile(path, O_RDWR), path);
}

File File::createNew(const std::filesystem::path &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kCreatedFileMode);
    if (fd < 0)
        throw FileIoError("Cannot create", path, errno);
    return File(fd, path);
}

std::uint64_t File::size() const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throw FileIoError("Cannot examine", m_path, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

bool File::readAt(std::uint64_t offset, void *buffer, std::size_t size) const
{
    auto *p = static_cast<char *>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileIoError("Cannot read", m_path, errno);
        }
        if (n == 0)
            return false;
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void File::writeAt(std::uint64_t offset, const void *buffer, std::size_t size)
{
    const auto *p = static_cast<const char *>(buffer);
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileIoError("Cannot write", m_path, errno);
        }
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
}

void File::truncate(std::uint64_t size)
{
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        throw FileIoError("Cannot resize", m_path, errno);
}

void File::sync()
{
    if (::fdatasync(m_fd) != 0)
        throw FileIoError("Cannot flush", m_path, errno);
}

void File::startWriteback(std::uint64_t offset, std::uint64_t size)
{
    ::sync_file_range(m_fd, static_cast<off64_t>(offset), static_cast<off64_t>(size), SYNC_FILE_RANGE_WRITE);
}

void File::adviseSequential() const
{
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void File::lockExclusive()
{
    while (::flock(m_fd, LOCK_EX) != 0)
        if (errno != EINTR)
            throw FileIoError("Cannot lock", m_path, errno);
}

void File::lockShared()
{
    while (::flock(m_fd, LOCK_SH) != 0)
        if (errno != EINTR)
            throw FileIoError("Cannot lock", m_path, errno);
}

void syncFolder(const std::filesystem::path &folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::filesystem::path partialPathFor(const std::filesystem::path &target)
{
    static std::atomic<unsigned> counter{0};
    std::string name = ".";
    name += target.filename().string();
    name += kPartialMarker;
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(counter++);
    return target.parent_path() / name;
}

bool removeLeftoverPartialsIn(const std::filesystem::path &folder, OwnPartials own)
{
    std::error_code error;
    bool clean = true;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, error);
    if (error)
        return error == std::errc::no_such_file_or_directory;
    for (std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const auto marker = name.find(kPartialMarker);
        if (name.empty() || name[0] != '.' || marker == std::string::npos)
            continue;
        // Only files of processes that are gone: a live writer's partial
        // file is its business.
        const auto pid = static_cast<pid_t>(std::atol(name.c_str() + marker + kPartialMarker.size()));
        const bool ours = pid == ::getpid();
        if (pid <= 0 || (ours && own == OwnPartials::Live) || (!ours && (::kill(pid, 0) == 0 || errno == EPERM))) {
            clean = false;
            continue;
        }
        std::error_code removal;
        if (!std::filesystem::remove(it->path(), removal) && removal)
            clean = false;
    }
    return clean && !error;
}

void removeLeftoverPartials(const std::filesystem::path &target, OwnPartials own)
{
    removeLeftoverPartialsIn(target.parent_path(), own);
}

void renameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        throw FileIoError("Cannot rename to", to, errno);
}

void renameReplacing(const std::filesystem::path &from, const std::filesystem::path &to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw FileIoError("Cannot rename to", to, errno);
}

} // namespace sqlemu
