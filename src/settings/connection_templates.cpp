#include "settings/connection_templates.h"

#include "db/connection_string.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "util/text_trim.h"

namespace movan {

namespace {

const QString kTail = QStringLiteral(";Use Procedure for Prepare=1;Auto Translate=True;Packet Size=4096;")
    + QStringLiteral("Workstation ID=.")
    + QStringLiteral(";Use Encryption for Data=False;Tag with column collation when possible=False");

QString q(const QString &value)
{
    return connectionStringValue(value);
}

QString windowsString(const QString &catalog, const QString &server)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=")
        + catalog + QStringLiteral(";Data Source=") + q(server);
}

QString sqlStringWithoutPassword(const QString &user, const QString &catalog, const QString &server)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") + q(user)
        + QStringLiteral(";Initial Catalog=") + catalog + QStringLiteral(";Data Source=") + q(server) + kTail;
}

QString sqlStringWithPassword(const QString &password, const QString &user, const QString &catalog,
                              const QString &server)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Password=") + q(password)
        + QStringLiteral(";Persist Security Info=True;User ID=") + q(user) + QStringLiteral(";Initial Catalog=")
        + catalog + QStringLiteral(";Data Source=") + q(server) + kTail;
}

// The server-level strings read the password before the user, and only when
// SQL Server authentication is configured.
QString serverLevelSqlString(const ProfileFile &file, const QString &server, const QString &userDefault,
                             const QString &passDefault, const QString &catalogWithoutPassword,
                             const QString &catalogWithPassword)
{
    const QString password = file.readString(Settings::kSection, Settings::kPass, passDefault);
    const QString user = file.readString(Settings::kSection, Settings::kUser, userDefault);
    if (trimControl(password).isEmpty())
        return sqlStringWithoutPassword(user, catalogWithoutPassword, server);
    return sqlStringWithPassword(password, user, catalogWithPassword, server);
}

} // namespace

QString BuildConnectionString(const QString &server, const QString &type, const QString &user, const QString &password,
                              const QString &database)
{
    const QString upper = type.toUpper();
    if (upper == Settings::kTypeWindows)
        return windowsString(q(database), server);
    if (upper == Settings::kTypeSql) {
        if (trimControl(password).isEmpty())
            return sqlStringWithoutPassword(user, q(database), server);
        return sqlStringWithPassword(password, user, q(database), server);
    }
    return {};
}

QString BuildMasterConnectionString()
{
    return BuildMasterConnectionString(openSettingsFile(Settings::kFileName));
}

QString BuildMasterConnectionString(const ProfileFile &file)
{
    if (!file.exists())
        return {};
    using namespace Settings::MasterConnectionDefault;
    const QString server = file.readString(Settings::kSection, Settings::kServer, kServer);
    const QString type = file.readString(Settings::kSection, Settings::kType, kType);
    if (type == Settings::kTypeWindows)
        return windowsString(QStringLiteral("master"), server);
    if (type == Settings::kTypeSql)
        return serverLevelSqlString(file, server, kUser, kPass, QStringLiteral(" master"), QStringLiteral("Master"));
    return {};
}

QString buildRestoreConnectionString()
{
    return buildRestoreConnectionString(openSettingsFile(Settings::kFileName));
}

QString buildRestoreConnectionString(const ProfileFile &file)
{
    using namespace Settings::RestoreConnectionDefault;
    const QString type = file.readString(Settings::kSection, Settings::kType, kType);
    if (type == Settings::kTypeWindows)
        return windowsString(QStringLiteral("master"),
                             file.readString(Settings::kSection, Settings::kServer, kServerWindows));
    if (type == Settings::kTypeSql) {
        const QString server = file.readString(Settings::kSection, Settings::kServer, kServerSql);
        return serverLevelSqlString(file, server, kUser, kPass, QStringLiteral("master"), QStringLiteral("master"));
    }
    return {};
}

} // namespace movan
