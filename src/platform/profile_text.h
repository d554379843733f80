#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace movan {

// The text of an INI file as the Windows private-profile functions see it,
// worked on as the file's own bytes (Windows-1256) so that a large file is
// never split into per-line objects:
// - a section line starts with '[' and runs to its last ']'; a line with no
//   ']' opens no section, and the keys after it stay where they were;
// - sections and keys match case-insensitively, the first match wins;
// - a key line is "key=value"; lines starting with ';' are comments.
namespace ProfileText {

// The value of the key as it stands after its '=', untrimmed; nothing when
// the section or the key is missing.
std::optional<QByteArray> rawValue(QByteArrayView file, const QString &section, const QString &key);

// The file with the key set to the value: updated in place when present,
// added after the last non-blank line of its section otherwise, the section
// appended (after a blank line) when missing. Every other byte stays.
// The section, key and value are already in the file's code page.
QByteArray withValue(QByteArrayView file, const QString &section, QByteArrayView sectionBytes, const QString &key,
                     QByteArrayView keyBytes, QByteArrayView valueBytes);

} // namespace ProfileText

} // namespace movan
