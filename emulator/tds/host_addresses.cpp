#include "tds/host_addresses.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace sqlemu::tds {

namespace {

constexpr int kIPv4 = 1;
constexpr int kIPv6 = 2;

int addressFamily(const std::string &address)
{
    unsigned char raw[16];
    if (::inet_pton(AF_INET, address.c_str(), raw) == 1)
        return kIPv4;
    if (::inet_pton(AF_INET6, address.c_str(), raw) == 1)
        return kIPv6;
    return 0;
}

int wildcardFamilies(const std::vector<std::string> &addresses)
{
    int families = 0;
    for (const auto &address : addresses) {
        if (isWildcardAddress(address))
            families |= addressFamily(address);
    }
    return families;
}

} // namespace

bool isWildcardAddress(const std::string &address)
{
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return v4.s_addr == htonl(INADDR_ANY);
    in6_addr v6{};
    return ::inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_UNSPECIFIED(&v6);
}

std::string localHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

bool isLoopbackAddress(const std::string &address)
{
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6))
            return true;
        // ::ffff:127.x.y.z reaches the IPv4 loopback.
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

std::vector<std::string> hostNameAddresses()
{
    std::vector<std::string> addresses;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(localHostName().c_str(), nullptr, &hints, &found) != 0)
        return addresses;
    for (addrinfo *a = found; a; a = a->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void *raw = a->ai_family == AF_INET6
            ? static_cast<const void *>(&reinterpret_cast<sockaddr_in6 *>(a->ai_addr)->sin6_addr)
            : static_cast<const void *>(&reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr);
        if (::inet_ntop(a->ai_family, raw, text, sizeof text))
            addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses;
}

std::vector<std::string> listenAddresses(const std::vector<std::string> &nameAddresses,
                                         const std::vector<std::string> &extra)
{
    std::vector<std::string> addresses = {"127.0.0.1", "::1"};
    auto add = [&addresses](const std::string &address) {
        if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
            addresses.push_back(address);
    };
    // An empty sa password is safe only where nobody else can connect: the
    // name's addresses count only while they stay on this computer.
    for (const auto &address : nameAddresses) {
        if (isLoopbackAddress(address))
            add(address);
    }
    for (const auto &address : extra)
        add(address);
    // A socket on a wildcard address takes the port on every address of its
    // family, so the loopback sockets of that family would only collide with
    // it (EADDRINUSE): the wildcard serves them.
    const int wildcards = wildcardFamilies(extra);
    if (wildcards != 0) {
        std::erase_if(addresses, [wildcards](const std::string &address) {
            const int family = addressFamily(address);
            return (wildcards & family) != 0 && !isWildcardAddress(address);
        });
        // The first address must bind; a wildcard the operator named must
        // too, where ::1 need not (a machine without IPv6).
        std::stable_partition(addresses.begin(), addresses.end(), isWildcardAddress);
    }
    return addresses;
}

} // namespace sqlemu::tds
