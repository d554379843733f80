#include "tds/collation.h"

namespace sqlemu::tds {

std::array<std::uint8_t, 5> Collation::bytes() const
{
    std::uint32_t info = (lcid & 0xFFFFF) | (static_cast<std::uint32_t>(flags) << 16);
    return {static_cast<std::uint8_t>(info & 0xFF), static_cast<std::uint8_t>((info >> 8) & 0xFF),
            static_cast<std::uint8_t>((info >> 16) & 0xFF), static_cast<std::uint8_t>(info >> 24), sortId};
}

Collation Collation::fromBytes(std::span<const std::uint8_t, 5> b)
{
    std::uint32_t info = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    Collation c;
    c.lcid = info & 0xFFFFF;
    c.flags = static_cast<std::uint8_t>((info >> 16) & 0xF0);
    c.sortId = b[4];
    return c;
}

int Collation::codePage() const
{
    // SQL collations name their code page through the sort id; the ones that
    // matter here are Latin-1 (1252) and the Windows Arabic collations.
    switch (lcid & 0x3FF) { // primary language
    case 0x01: // Arabic
    case 0x29: // Persian
    case 0x20: // Urdu
        return 1256;
    case 0x19:
        return 1251; // Russian
    case 0x05:
    case 0x0E:
    case 0x15:
        return 1250;
    case 0x08:
        return 1253;
    case 0x1F:
        return 1254;
    case 0x0D:
        return 1255;
    default:
        return 1252;
    }
}

} // namespace sqlemu::tds
