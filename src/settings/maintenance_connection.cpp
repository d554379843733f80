#include "settings/maintenance_connection.h"

#include "db/connection_string.h"
#include "platform/kerberos_check.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "util/text_trim.h"

namespace movan {

namespace {

const QString kSavedLoginNotice = QStringLiteral(
    "بليت Kerberos وجود ندارد؛ فهرست بانک ها و پشتيبان گيري با کاربر ذخيره شده در InitPrg.ini انجام مي شود (%1)");

QString localMasterWithLogin(const QString &user, const QString &password)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Password=") + connectionStringValue(password)
        + QStringLiteral(";Persist Security Info=True;User ID=") + connectionStringValue(user)
        + QStringLiteral(";Initial Catalog=master;Data Source=.");
}

} // namespace

MaintenanceConnection maintenanceConnection()
{
    return maintenanceConnection(openSettingsFile(Settings::kFileName), !kerberosLoginProblem(QString(), 0));
}

MaintenanceConnection maintenanceConnection(const ProfileFile &settings, bool hasKerberosTicket)
{
    MaintenanceConnection windows{kLocalMasterConnectionString, false, {}};
    if (hasKerberosTicket || !settings.exists())
        return windows;
    // Only a saved SQL Server login can stand in; with Windows authentication
    // saved there is nothing else to try, and the Kerberos reason is shown.
    const QString type = settings.readString(Settings::kSection, Settings::kType, Settings::ConnectionDefault::kType);
    if (type.compare(Settings::kTypeSql, Qt::CaseInsensitive) != 0)
        return windows;
    const QString user = settings.readString(Settings::kSection, Settings::kUser, Settings::ConnectionDefault::kUser);
    if (trimControl(user).isEmpty())
        return windows;
    const QString password
        = settings.readString(Settings::kSection, Settings::kPass, Settings::ConnectionDefault::kPass);
    return {localMasterWithLogin(user, password), true, kSavedLoginNotice.arg(user)};
}

std::optional<QString> maintenanceConnectionString()
{
    return maintenanceConnectionString(openSettingsFile(Settings::kFileName), !kerberosLoginProblem(QString(), 0));
}

std::optional<QString> maintenanceConnectionString(const ProfileFile &settings, bool hasKerberosTicket)
{
    const MaintenanceConnection chosen = maintenanceConnection(settings, hasKerberosTicket);
    // Without a ticket only a saved login can reach the server; the window
    // would still try and show Kerberos's reason, a timer has nobody to show
    // it to.
    if (!hasKerberosTicket && !chosen.usesSavedLogin)
        return std::nullopt;
    return chosen.connectionString;
}

} // namespace movan
