#include "cli/maintenance_connection_choice.h"

#include "platform/kerberos_check.h"
#include "settings/maintenance_connection.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace movan {

std::optional<QString> maintenanceConnectionString()
{
    const bool hasTicket = !kerberosLoginProblem(QString(), 0);
    const MaintenanceConnection chosen = maintenanceConnection(openSettingsFile(Settings::kFileName), hasTicket);
    // Without a ticket only a saved login can reach the server; the window
    // would still try and show Kerberos's reason, a timer has nobody to show
    // it to.
    if (!hasTicket && !chosen.usesSavedLogin)
        return std::nullopt;
    return chosen.connectionString;
}

} // namespace movan
