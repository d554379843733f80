#pragma once

#include <cstddef>
#include <cstdint>

namespace sqlemu {

// CRC-32C (Castagnoli) of database file headers and backup sets. Backups
// checksum every byte they stream, so this runs on the processor's CRC32
// instruction where there is one (several GB/s) and on tables elsewhere.
// Feed a running value back in to checksum data that arrives in pieces:
// crc32c(b, nb, crc32c(a, na)) == crc32c(a ++ b).
std::uint32_t crc32c(const void *data, std::size_t size, std::uint32_t previous = 0);

} // namespace sqlemu
