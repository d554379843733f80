#pragma once

// The one release of SQL Server each --server-version plays. The protocol
// (PRELOGIN, LOGINACK, the browser) and the interpreter (@@VERSION,
// SERVERPROPERTY, backup headers) all tell its number, so a client never
// sees two versions of one server.

#include <cstdint>
#include <string>
#include <string_view>

namespace sqlemu {

struct ProductRelease {
    std::string_view name; // as --server-version gives it
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t build = 0;
    std::string_view productVersion; // as the release writes it: 9.00.5000.00
    std::string_view productLevel; // RTM, SP2 ...
};

// The releases played: 2005 SP4, 2008 R2 SP2, 2022 RTM. Unknown names get
// the newest.
inline const ProductRelease &productRelease(std::string_view name)
{
    static constexpr ProductRelease kReleases[] = {
        {"9.0", 9, 0, 5000, "9.00.5000.00", "SP4"},
        {"10.50", 10, 50, 4000, "10.50.4000.0", "SP2"},
        {"16.0", 16, 0, 1000, "16.0.1000.6", "RTM"},
    };
    for (const auto &release : kReleases)
        if (release.name == name || (name == "9.00" && release.name == "9.0"))
            return release;
    return kReleases[std::size(kReleases) - 1];
}

inline bool isKnownRelease(std::string_view name)
{
    return name == "9.0" || name == "10.50" || name == "16.0";
}

} // namespace sqlemu
