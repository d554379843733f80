#include "storage/stream_copy.h"

#include "storage/crc32c.h"

#include <algorithm>
#include <cerrno>
#include <future>
#include <memory>

namespace sqlemu {

namespace {

constexpr std::size_t kPieceBytes = 8u << 20;

struct AlignedBuffer {
    std::unique_ptr<char[]> storage;
    AlignedBuffer() : storage(new char[kPieceBytes]) {}
    char *data() { return storage.get(); }
};

void readPiece(const File &source, std::uint64_t offset, char *buffer, std::size_t size)
{
    if (!source.readAt(offset, buffer, size))
        throw FileIoError("Unexpected end of", source.path(), EIO);
}

} // namespace

std::uint32_t streamCopy(const File &source, std::uint64_t sourceOffset, File &target, std::uint64_t targetOffset,
                         std::uint64_t length, ProgressMeter &meter)
{
    source.adviseSequential();
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
