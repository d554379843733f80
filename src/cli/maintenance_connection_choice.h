#pragma once

#include <QString>

#include <optional>

namespace movan {

// The maintenance connection: how the maintenance window's backup reaches
// the server, and so how the command line reaches it. This computer's
// default instance; Windows authentication when a Kerberos ticket is at
// hand, else the SQL Server login saved in InitPrg.ini beside the
// executable. Nothing when there is neither, so the caller can say the
// settings are missing.
std::optional<QString> maintenanceConnectionString();

} // namespace movan
