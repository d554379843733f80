#include "storage/data_folder_lock.h"

#include "storage/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sqlemu {

namespace {

// An exclusive lock on fd without waiting: 0, or the errno of the failure.
int lockNow(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

} // namespace

DataFolderLock::~DataFolderLock()
{
    if (m_fileFd >= 0)
        ::close(m_fileFd);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DataFolderLock::acquire(const std::filesystem::path &folder, std::string &error)
{
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    const std::string inUse = "the data folder " + folder.string() + " is in use by another sqlemu";
    // The lock is on the folder itself: a name in it can be deleted or
    // replaced under a running server, the folder it works in cannot.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (const int failure = lockNow(fd); failure != 0) {
        ::close(fd);
        error = failure == EWOULDBLOCK ? inUse : "cannot lock " + folder.string() + ": " + std::strerror(failure);
        return false;
    }
    // The lock file shows that a server holds the folder, and is locked too
    // for whatever looks there; it no longer decides anything.
    const auto path = folder / ".sqlemu.lock";
    const int fileFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kCreatedFileMode);
    if (fileFd >= 0 && lockNow(fileFd) == EWOULDBLOCK) {
        ::close(fileFd);
        ::close(fd);
        error = inUse;
        return false;
    }
    m_fd = fd;
    m_fileFd = fileFd;
    return true;
}

} // namespace sqlemu
