#include "storage/data_folder_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sqlemu {

DataFolderLock::~DataFolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DataFolderLock::acquire(const std::filesystem::path &folder, std::string &error)
{
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    const auto path = folder / ".sqlemu.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        ::close(fd);
        error = failure == EWOULDBLOCK ? "the data folder " + folder.string() + " is in use by another sqlemu"
                                       : "cannot lock " + path.string() + ": " + std::strerror(failure);
        return false;
    }
    m_fd = fd;
    return true;
}

} // namespace sqlemu
