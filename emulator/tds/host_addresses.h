#pragma once

#include <string>
#include <vector>

namespace sqlemu::tds {

// The computer's own name, as gethostname reports it.
std::string localHostName();

// Whether a textual IPv4 or IPv6 address is a loopback one.
bool isLoopbackAddress(const std::string &address);

// 0.0.0.0 or :: (in any spelling): every address of its family.
bool isWildcardAddress(const std::string &address);

// Where sqlemu listens: 127.0.0.1 first, ::1, those of the given addresses
// (what the computer's own name resolves to) that are loopback, then the
// extra ones the command line asked for. A wildcard among the extra ones
// stands for every other address of its family.
std::vector<std::string> listenAddresses(const std::vector<std::string> &nameAddresses,
                                         const std::vector<std::string> &extra);

// What the computer's own name resolves to.
std::vector<std::string> hostNameAddresses();

} // namespace sqlemu::tds
