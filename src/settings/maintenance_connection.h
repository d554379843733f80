#pragma once

#include <QString>

#include <optional>

namespace movan {

class ProfileFile;

// The maintenance connection: where the database list, the backup and the
// restore of the maintenance window connect, and so where the command line
// connects. This computer's default instance with Windows authentication. On
// a Linux desktop that is a Kerberos login, and a user rarely holds a ticket;
// without one they use the login saved in InitPrg.ini on the same instance,
// when SQL Server authentication is saved there.

// The local default instance with Windows authentication, whatever the
// settings say.
inline const QString kLocalMasterConnectionString = QStringLiteral(
    "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=master;Data Source=.");

struct MaintenanceConnection {
    QString connectionString;
    // The saved login stands in for Windows authentication.
    bool usesSavedLogin = false;
    // For the status bar: why the saved login is used; empty otherwise.
    QString notice;
};

// Decided afresh at every call: a ticket obtained meanwhile, or settings
// saved meanwhile, count at once.
MaintenanceConnection maintenanceConnection();
MaintenanceConnection maintenanceConnection(const ProfileFile &settings, bool hasKerberosTicket);

// The same connection for a caller with nobody to show a Kerberos failure to
// (the command line under a timer): nothing when there is neither a ticket
// nor a saved login, so the caller can say the settings are missing.
std::optional<QString> maintenanceConnectionString();
std::optional<QString> maintenanceConnectionString(const ProfileFile &settings, bool hasKerberosTicket);

} // namespace movan
