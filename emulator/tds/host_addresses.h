#pragma once

#include <string>
#include <vector>

namespace sqlemu::tds {

// The computer's own name, as gethostname reports it.
std::string localHostName();

// Where sqlemu listens: 127.0.0.1 first, ::1, and the addresses the
// computer's own name resolves to (clients connect by that name too).
std::vector<std::string> listenAddresses();

} // namespace sqlemu::tds
