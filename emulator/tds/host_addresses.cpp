#include "tds/host_addresses.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

namespace sqlemu::tds {

std::string localHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

std::vector<std::string> listenAddresses()
{
    std::vector<std::string> addresses = {"127.0.0.1", "::1"};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(localHostName().c_str(), nullptr, &hints, &found) == 0) {
        for (addrinfo *a = found; a; a = a->ai_next) {
            char text[INET6_ADDRSTRLEN] = {};
            const void *raw = a->ai_family == AF_INET6
                                  ? static_cast<const void *>(&reinterpret_cast<sockaddr_in6 *>(a->ai_addr)->sin6_addr)
                                  : static_cast<const void *>(&reinterpret_cast<sockaddr_in *>(a->ai_addr)->sin_addr);
            if (::inet_ntop(a->ai_family, raw, text, sizeof text)
                && std::find(addresses.begin(), addresses.end(), text) == addresses.end())
                addresses.emplace_back(text);
        }
        ::freeaddrinfo(found);
    }
    return addresses;
}

} // namespace sqlemu::tds
