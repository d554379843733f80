#pragma once

#include <QString>

namespace movan {

// A Wine prefix: the folder where the sibling programs, run under Wine,
// keep their drive C: and the registry a SQL Server setup reads.
class WinePrefix {
public:
    // $WINEPREFIX, else ~/.wine.
    static WinePrefix fromEnvironment();
    explicit WinePrefix(QString directory);

    const QString &directory() const { return m_directory; }
    // The HKEY_LOCAL_MACHINE hive.
    QString machineHivePath() const;

    // Whether a wineserver serves the prefix now. While one does, it holds the
    // registry in memory and writes it back over any change made to the files.
    bool serverRunning() const;

private:
    QString m_directory;
};

} // namespace movan
