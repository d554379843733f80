#pragma once

#include <QString>

namespace movan {

class ProfileFile;

// Where the database list, the backup and the restore of the maintenance
// window connect: this computer's default instance with Windows
// authentication. On a Linux desktop that is a Kerberos login, and a user
// rarely holds a ticket; without one they use the login saved in InitPrg.ini
// on the same instance, when SQL Server authentication is saved there.
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

} // namespace movan
