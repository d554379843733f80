#include "cli/maintenance_connection_choice.h"

#include "platform/kerberos_check.h"
#include "settings/connection_templates.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "util/text_trim.h"

namespace movan {

std::optional<QString> maintenanceConnectionString()
{
    // Port 0 asks only whether a ticket is there; whether the server's
    // principal is known is for the login itself to say.
    if (!kerberosLoginProblem(QStringLiteral("localhost"), 0))
        return kLocalMasterConnectionString;
    const ProfileFile file = openSettingsFile(Settings::kFileName);
    if (!file.exists())
        return std::nullopt;
    using namespace Settings::MasterConnectionDefault;
    if (file.readString(Settings::kSection, Settings::kType, kType).toUpper() != Settings::kTypeSql)
        return std::nullopt;
    const QString user = file.readString(Settings::kSection, Settings::kUser, kUser);
    if (trimControl(user).isEmpty())
        return std::nullopt;
    const QString password = file.readString(Settings::kSection, Settings::kPass, kPass);
    return BuildConnectionString(QStringLiteral("."), Settings::kTypeSql, user, password, QStringLiteral("master"));
}

} // namespace movan
