#include "tds/server_version.h"

#include "tds/login7.h"

namespace sqlemu::tds {

std::optional<ServerVersion> ServerVersion::fromName(const std::string &name)
{
    // The release-to-manufacturing build of each version.
    if (name == "9.0")
        return ServerVersion{name, 9, 0, 1399, TdsVersion::V7_2, "9.00.1399.06"};
    if (name == "10.50")
        return ServerVersion{name, 10, 50, 1600, TdsVersion::V7_3B, "10.50.1600.1"};
    if (name == "16.0")
        return ServerVersion{name, 16, 0, 1000, TdsVersion::V7_4, "16.0.1000.6"};
    return std::nullopt;
}

} // namespace sqlemu::tds
