#pragma once

#include <QString>

#include <optional>

namespace movan {

// A Windows-authenticated login is a Kerberos login here. When it cannot work
// (no ticket, an expired one, a service the realm does not know, no KDC), the
// client library only says that the connection failed; this asks GSSAPI
// first and returns its reason in words, or nothing when a login may work.
// port 0 (a named instance whose port is not known yet) checks the ticket
// only.
std::optional<QString> kerberosLoginProblem(const QString &host, int port);

} // namespace movan
