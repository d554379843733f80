#include "storage/atomic_file.h"

#include "storage/file_io.h"
#include "storage/storage_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace sqlemu {

namespace {

[[noreturn]] void fail(const std::string &what, const std::filesystem::path &path, int error)
{
    throw StorageError(what + " " + path.string() + ": " + std::strerror(error));
}

// Closes a descriptor on every path out of the writer.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::filesystem::path temporaryPathFor(const std::filesystem::path &target)
{
    auto temporary = target;
    temporary += ".tmp";
    return temporary;
}

void writeFileAtomically(const std::filesystem::path &target, std::string_view contents)
{
    const auto temporary = temporaryPathFor(target);
    {
        Descriptor file{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kCreatedFileMode)};
        if (file.fd < 0)
            fail("Cannot create", temporary, errno);
        std::size_t written = 0;
        while (written < contents.size()) {
            const ssize_t n = ::write(file.fd, contents.data() + written, contents.size() - written);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const int error = errno;
                ::unlink(temporary.c_str());
                fail("Cannot write", temporary, error);
            }
            written += static_cast<std::size_t>(n);
        }
        if (::fsync(file.fd) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            fail("Cannot flush", temporary, error);
        }
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("Cannot replace", target, error);
    }
    syncFolder(target.parent_path());
}

} // namespace sqlemu
