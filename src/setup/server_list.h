#pragma once

#include <QString>
#include <QStringList>

namespace movan {

// The name the default instance goes by in the server's instance list; the
// computer name already stands for it.
inline const QString kDefaultInstanceName = QStringLiteral("MSSQLSERVER");

// What the server box offers, in order: the computer, its local address (no
// entry when it has none), each named instance as COMPUTER\NAME, and the
// configured server at the end unless an entry already equals it exactly.
QStringList serverListEntries(const QString &computerName, const QString &localAddress,
                              const QStringList &instanceNames, const QString &configuredServer);

} // namespace movan
