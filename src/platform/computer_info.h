#pragma once

#include <QString>

namespace movan {

namespace ComputerInfo {

// The computer's name exactly as the system reports it; empty on failure.
QString hostName();

// The first IPv4 address to which the computer's own name resolves, as dotted
// text; empty when it resolves to none.
QString localIPv4Address();

} // namespace ComputerInfo

} // namespace movan
