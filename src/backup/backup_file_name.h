#pragma once

#include <QDateTime>
#include <QString>

namespace movan {

// The name the save dialog proposes for a backup: the database, today's
// Persian date as eight digits and the time of day on the 24-hour clock,
// e.g. Tarnel_13910829_14-05. The time is always written "HH-mm", whatever
// the process's locale says.
QString proposedBackupFileName(const QString &database, const QDateTime &now);

} // namespace movan
