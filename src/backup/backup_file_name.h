#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace movan {

// The name the save dialog proposes for a backup: the database, today's
// Persian date as eight digits and the time of day on the 24-hour clock,
// e.g. Tarnel_13910829_14-05. The time is always written "HH-mm", whatever
// the process's locale says.
QString proposedBackupFileName(const QString &database, const QDateTime &now);

// The extension the save dialog completes a name with.
inline const QString kBackupFileSuffix = QStringLiteral(".Bak");

// The proposed name completed as the dialog completes it: Tarnel_13910829_14-05.Bak.
QString backupFileName(const QString &database, const QDateTime &now);

// When fileName is a name backupFileName gives for exactly this database
// (letter case included), the moment it names as twelve digits, date then
// time, which sort as the moments do; nothing for any other name, a backup
// of another database among them.
std::optional<QString> backupFileMoment(const QString &database, const QString &fileName);

} // namespace movan
