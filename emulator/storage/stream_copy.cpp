#include "storage/stream_copy.h"

#include "storage/crc32c.h"

#include <algorithm>
#include <cerrno>
#include <future>
#include <memory>
#include <unistd.h>

namespace sqlemu {

namespace {

constexpr std::size_t kPieceBytes = 8u << 20;

struct AlignedBuffer {
    std::unique_ptr<char[]> storage;
    AlignedBuffer()
        : storage(new char[kPieceBytes])
    {}
    char *data() { return storage.get(); }
};

void readPiece(const File &source, std::uint64_t offset, char *buffer, std::size_t size)
{
    if (!source.readAt(offset, buffer, size))
        throw FileIoError("Unexpected end of", source.path(), EIO);
}

// Copies one piece inside the kernel (no trip through our memory, as cp
// does); false when the file system cannot, and the caller copies itself.
bool copyInKernel(const File &source, std::uint64_t sourceOffset, File &target, std::uint64_t targetOffset,
                  std::size_t size)
{
    auto in = static_cast<loff_t>(sourceOffset);
    auto out = static_cast<loff_t>(targetOffset);
    while (size > 0) {
        const ssize_t n = ::copy_file_range(source.descriptor(), &in, target.descriptor(), &out, size, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
                return false;
            throw FileIoError("Cannot copy to", target.path(), errno);
        }
        if (n == 0)
            throw FileIoError("Unexpected end of", source.path(), EIO);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::uint32_t copyThroughBuffers(const File &source, std::uint64_t sourceOffset, File &target,
                                 std::uint64_t targetOffset, std::uint64_t length, ProgressMeter &meter)
{
    AlignedBuffer buffers[2];
    std::uint32_t crc = 0;
    // Declared after the buffers: its destructor waits for a write still
    // running on one of them, also when an exception leaves early.
    std::future<void> pendingWrite;
    int current = 0;
    for (std::uint64_t done = 0; done < length;) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, length - done));
        char *piece = buffers[current].data();
        readPiece(source, sourceOffset + done, piece, size);
        crc = crc32c(piece, size, crc);
        if (pendingWrite.valid())
            pendingWrite.get();
        const std::uint64_t at = targetOffset + done;
        pendingWrite = std::async(std::launch::async, [&target, at, piece, size] { target.writeAt(at, piece, size); });
        done += size;
        current ^= 1;
        meter.advance(size);
    }
    if (pendingWrite.valid())
        pendingWrite.get();
    return crc;
}

} // namespace

std::uint32_t streamCopy(const File &source, std::uint64_t sourceOffset, File &target, std::uint64_t targetOffset,
                         std::uint64_t length, ProgressMeter &meter)
{
    source.adviseSequential();
    // The checksum is taken from the target, so it covers the bytes as they
    // will stay on disk; reading back one piece overlaps copying the next.
    AlignedBuffer buffer;
    std::uint32_t crc = 0;
    std::future<void> pendingChecksum; // after the buffer: waited for on every way out
    for (std::uint64_t done = 0; done < length;) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, length - done));
        if (!copyInKernel(source, sourceOffset + done, target, targetOffset + done, size)) {
            if (done != 0)
                throw FileIoError("Cannot copy to", target.path(), EXDEV);
            return copyThroughBuffers(source, sourceOffset, target, targetOffset, length, meter);
        }
        // The disk writes this piece while the next one is copied.
        target.startWriteback(targetOffset + done, size);
        if (pendingChecksum.valid())
            pendingChecksum.get();
        const std::uint64_t at = targetOffset + done;
        pendingChecksum = std::async(std::launch::async, [&target, &buffer, &crc, at, size] {
            readPiece(target, at, buffer.data(), size);
            crc = crc32c(buffer.data(), size, crc);
        });
        done += size;
        meter.advance(size);
    }
    if (pendingChecksum.valid())
        pendingChecksum.get();
    return crc;
}

std::uint32_t streamChecksum(const File &source, std::uint64_t offset, std::uint64_t length, ProgressMeter &meter)
{
    source.adviseSequential();
    AlignedBuffer buffer;
    std::uint32_t crc = 0;
    for (std::uint64_t done = 0; done < length;) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, length - done));
        readPiece(source, offset + done, buffer.data(), size);
        crc = crc32c(buffer.data(), size, crc);
        done += size;
        meter.advance(size);
    }
    return crc;
}

} // namespace sqlemu
