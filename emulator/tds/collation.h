#pragma once

// The five collation bytes of TYPE_INFO and ENVCHANGE 7, and the code page a
// collation implies for single-byte text.

#include <array>
#include <cstdint>
#include <span>

namespace sqlemu::tds {

struct Collation {
    std::uint32_t lcid = 0x0401; // Arabic (Saudi Arabia): the server default Arabic_CI_AS
    std::uint8_t flags = 0xD0; // ignore case, kana and width; accent sensitive
    std::uint8_t sortId = 0; // 0 for Windows collations

    std::array<std::uint8_t, 5> bytes() const;
    static Collation fromBytes(std::span<const std::uint8_t, 5> bytes);
    int codePage() const;
};

// Arabic_CI_AS, the collation the product's databases are installed with.
inline Collation serverCollation()
{
    return Collation{};
}

} // namespace sqlemu::tds
