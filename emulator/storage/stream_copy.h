#pragma once

#include "storage/file_io.h"
#include "storage/operation_progress.h"

#include <cstdint>

namespace sqlemu {

// Copies length bytes between two files at disk speed: large pieces, the
// read of the next piece overlapping the write of the last, the CRC-32C of
// the bytes computed on the way. Progress and cancel are handled between
// pieces. A read that ends early throws FileIoError with EIO from source.
// Returns the checksum of the bytes copied.
std::uint32_t streamCopy(const File &source, std::uint64_t sourceOffset, File &target, std::uint64_t targetOffset,
                         std::uint64_t length, ProgressMeter &meter);

// Reads length bytes and returns their CRC-32C, with progress and cancel.
std::uint32_t streamChecksum(const File &source, std::uint64_t offset, std::uint64_t length, ProgressMeter &meter);

} // namespace sqlemu
