#pragma once

#include <QMap>
#include <QSet>
#include <QString>

#include <optional>

namespace movan {

// The record the command line keeps in a backup folder of the files whose
// every set it read back whole: the name and the size the file had then.
// A file counts as verified only while its size is still that one, so a set
// appended since (by the window, or a run that could not verify) takes it
// out of the count without anybody updating the record.
inline const QString kVerifiedRecordName = QStringLiteral(".movan-verified");

// The record's text: one "size<TAB>name" line per file.
QMap<QString, qint64> parseVerifiedRecord(const QByteArray &text);
QByteArray verifiedRecordText(const QMap<QString, qint64> &entries);

// The names of folder's regular files that the record holds at their present size.
QSet<QString> verifiedBackups(const QString &folder);

// Records fileName as verified at its present size, or with verified false
// takes it out, and forgets files that are gone; under a lock on the folder
// (two databases' timers may finish at once) and written whole or not at all.
// Why it could not be written, or nothing.
std::optional<QString> recordVerification(const QString &folder, const QString &fileName, bool verified);

} // namespace movan
