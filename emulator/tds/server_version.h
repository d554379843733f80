#pragma once

// The SQL Server versions sqlemu can pretend to be: what LOGINACK, PRELOGIN
// and the browser report, and the newest TDS version each one speaks.

#include <cstdint>
#include <optional>
#include <string>

namespace sqlemu::tds {

struct ServerVersion {
    std::string name; // as given on the command line: 9.0, 10.50, 16.0
    std::uint8_t major = 9;
    std::uint8_t minor = 0;
    std::uint16_t build = 1399;
    std::uint32_t maxTdsVersion = 0x72090002;
    std::string browserVersion; // e.g. 9.00.1399.06

    static std::optional<ServerVersion> fromName(const std::string &name);
};

} // namespace sqlemu::tds
