#pragma once

#include <QString>

namespace movan {

// The shared settings file InitPrg.ini: its name, its one section, its keys,
// and the default each reader falls back to when a key is absent. Readers
// differ on purpose (the setup window proposes SQL Server authentication, the
// connection itself assumes Windows authentication), so each default names
// its reader.
namespace Settings {

inline const QString kFileName = QStringLiteral("InitPrg.ini");
inline const QString kSection = QStringLiteral("DataBase");

inline const QString kServer = QStringLiteral("Server");
inline const QString kServerMachineName = QStringLiteral("ServerMachinName");
inline const QString kServerIPAddress = QStringLiteral("ServerIPAddress");
inline const QString kDataBaseName = QStringLiteral("DataBaseName");
inline const QString kType = QStringLiteral("Type");
inline const QString kUser = QStringLiteral("User");
inline const QString kPass = QStringLiteral("Pass");

inline const QString kTypeWindows = QStringLiteral("WIN");
inline const QString kTypeSql = QStringLiteral("SQL");

// Defaults of the setup window when it shows the settings; the server's
// default there is the computer name, which only the window knows.
namespace SetupWindowDefault {
inline const QString kDataBaseName = QStringLiteral("Tarnel");
inline const QString kType = QStringLiteral("SQL");
inline const QString kUser = QStringLiteral("sa");
inline const QString kPass;
} // namespace SetupWindowDefault

// Defaults of the maintenance window on show.
namespace MaintenanceWindowDefault {
inline const QString kDataBaseName = QStringLiteral("Tarnel");
} // namespace MaintenanceWindowDefault

// Defaults of the connection to the configured database (ConnectFromIni).
namespace ConnectionDefault {
inline const QString kServer = QStringLiteral(".");
inline const QString kDataBaseName;
inline const QString kType = QStringLiteral("WIN");
inline const QString kUser = QStringLiteral("sa");
inline const QString kPass;
} // namespace ConnectionDefault

// Defaults of the server-level connection (BuildMasterConnectionString).
namespace MasterConnectionDefault {
inline const QString kServer = QStringLiteral(".");
inline const QString kType = QStringLiteral("WIN");
inline const QString kUser = QStringLiteral("sa");
inline const QString kPass;
} // namespace MasterConnectionDefault

// Defaults of the restore's connection: with Windows authentication an absent
// server stays empty, with SQL Server authentication it is the local one.
namespace RestoreConnectionDefault {
inline const QString kServerWindows;
inline const QString kServerSql = QStringLiteral(".");
inline const QString kType = QStringLiteral("WIN");
inline const QString kUser = QStringLiteral("sa");
inline const QString kPass;
} // namespace RestoreConnectionDefault

} // namespace Settings

} // namespace movan
