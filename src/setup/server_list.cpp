#include "setup/server_list.h"

namespace movan {

QStringList serverListEntries(const QString &computerName, const QString &localAddress,
                              const QStringList &instanceNames, const QString &configuredServer)
{
    QStringList entries{computerName};
    if (!localAddress.isEmpty())
        entries.append(localAddress);
    for (const QString &instance : instanceNames) {
        if (instance != kDefaultInstanceName)
            entries.append(computerName + u'\\' + instance);
    }
    if (!entries.contains(configuredServer, Qt::CaseSensitive))
        entries.append(configuredServer);
    return entries;
}

} // namespace movan
