#include "settings/data_module.h"

#include "platform/app_error.h"
#include "settings/connection_templates.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

namespace movan {

TDMMain *DMMain = nullptr;

TDMMain::TDMMain() = default;

bool ConnectFromIni(DbConnection &connection, const QString &section, const QString &fileName,
                    std::exception_ptr *failure)
{
    const ProfileFile file = openSettingsFile(fileName);
    if (!file.exists()) {
        if (failure)
            *failure = std::make_exception_ptr(
                AppError(QStringLiteral("The settings file %1 does not exist.").arg(settingsFilePath(fileName))));
        return false;
    }
    using namespace Settings::ConnectionDefault;
    const QString server = file.readString(section, Settings::kServer, kServer);
    connection.close();
    const QString password = file.readString(section, Settings::kPass, kPass);
    const QString database = file.readString(section, Settings::kDataBaseName, kDataBaseName);
    const QString user = file.readString(section, Settings::kUser, kUser);
    const QString type = file.readString(section, Settings::kType, kType);
    connection.setConnectionString(BuildConnectionString(server, type, user, password, database));
    try {
        connection.open();
    } catch (const std::exception &) {
        if (failure)
            *failure = std::current_exception();
        return false;
    }
    return true;
}

} // namespace movan
