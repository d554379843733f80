#pragma once

#include <QString>

#include <optional>

namespace movan {

// Asks a SQL Server, with a PRELOGIN of its own that asks for encryption and
// goes no further, what it answers about encryption: 0 off, 1 on, 2 not
// supported, 3 required; nothing when it cannot be reached or does not answer
// as SQL Server does within timeoutMs. Only explains a failed login after the
// fact: whether a login is sent encrypted is never decided on its answer.
std::optional<int> serverEncryptionAnswer(const QString &host, int port, int timeoutMs = 3000);

} // namespace movan
