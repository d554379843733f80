#include "tds/server_version.h"

#include "engine_interface/product_release.h"
#include "tds/login7.h"

namespace sqlemu::tds {

std::optional<ServerVersion> ServerVersion::fromName(const std::string &name)
{
    if (!isKnownRelease(name))
        return std::nullopt;
    const ProductRelease &release = productRelease(name);
    const std::uint32_t tds = release.major >= 11 ? TdsVersion::V7_4
        : release.major == 10                     ? TdsVersion::V7_3B
                                                  : TdsVersion::V7_2;
    return ServerVersion{name, release.major, release.minor, release.build, tds, std::string(release.productVersion)};
}

} // namespace sqlemu::tds
