#pragma once

#include <QStringList>

// The batches the setup window sends, line by line as its queries hold them.

// The installed instances, from the server's registry: one row per instance,
// its name in the second column called "Value" (bound as "Value_1").
inline const QStringList kInstanceListBatch = {
    QStringLiteral("use master"),
    QString(),
    QStringLiteral("EXECUTE "),
    QStringLiteral("xp_regread"),
    QStringLiteral("  @rootkey = 'HKEY_LOCAL_MACHINE',"),
    QStringLiteral("  @key = 'SOFTWARE\\Microsoft\\Microsoft SQL Server',"),
    QStringLiteral("  @value_name = 'InstalledInstances'"),
};
