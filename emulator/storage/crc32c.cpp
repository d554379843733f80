#include "storage/crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace sqlemu {

namespace {

constexpr std::uint32_t kPolynomial = 0x82F63B78u; // reflected Castagnoli

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

Tables makeTables()
{
    Tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (int k = 1; k < 8; ++k)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

// Slicing by eight: eight table look-ups per eight bytes.
std::uint32_t crcTables(const unsigned char *p, std::size_t n, std::uint32_t crc)
{
    static const Tables t = makeTables();
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        word ^= crc;
        crc = t[7][word & 0xFF] ^ t[6][(word >> 8) & 0xFF] ^ t[5][(word >> 16) & 0xFF] ^ t[4][(word >> 24) & 0xFF]
            ^ t[3][(word >> 32) & 0xFF] ^ t[2][(word >> 40) & 0xFF] ^ t[1][(word >> 48) & 0xFF] ^ t[0][word >> 56];
        p += 8;
        n -= 8;
    }
    while (n--)
        crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
    return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) std::uint32_t crcHardware(const unsigned char *p, std::size_t n, std::uint32_t crc)
{
    std::uint64_t c = crc;
    while (n >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        c = _mm_crc32_u64(c, word);
        p += 8;
        n -= 8;
    }
    auto c32 = static_cast<std::uint32_t>(c);
    while (n--)
        c32 = _mm_crc32_u8(c32, *p++);
    return c32;
}

bool hasHardwareCrc()
{
    static const bool has = __builtin_cpu_supports("sse4.2");
    return has;
}
#endif

} // namespace

std::uint32_t crc32c(const void *data, std::size_t size, std::uint32_t previous)
{
    const auto *p = static_cast<const unsigned char *>(data);
    const std::uint32_t crc = ~previous;
#if defined(__x86_64__)
    if (hasHardwareCrc())
        return ~crcHardware(p, size, crc);
#endif
    return ~crcTables(p, size, crc);
}

} // namespace sqlemu
