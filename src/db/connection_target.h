#pragma once

#include <QString>

namespace movan {

// Where and how a connection string says to connect, in the terms of the
// TDS client: the OLE DB keys mapped once, so the session never sees them.
struct ConnectionTarget {
    QString host; // "localhost" for the local computer
    int port = 0; // 0: the instance's port, or 1433 for the default instance
    QString instance; // empty for the default instance
    QString database; // empty: the login's default database
    QString user;
    QString password;
    bool integratedSecurity = false;
    QString workstation;
    int packetSize = 0; // 0: the client's default
};

// Throws DatabaseError for a provider other than SQLOLEDB, a malformed
// string or a Data Source that names no server.
ConnectionTarget connectionTargetFrom(const QString &connectionString);

} // namespace movan
