#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace movan {

// The text format in which Wine keeps a registry hive (system.reg of a
// prefix): a header, then for each key a line "[Name\\Of\\Key] seconds",
// its meta lines ("#time=", "#link", ...) and one line per value
// ("\"Name\"=...", "@=..." for the default value), a value written in hex
// going on over lines that end in a backslash. Names are escaped as Wine
// escapes them and match without regard to letter case. Paths are relative
// to the hive's root, separated by single backslashes.
namespace WineHive {

// Whether the bytes start as a hive that Wine wrote.
bool isHiveText(const QByteArray &text);

// The path of the key whose values the path leads to, following symbolic
// link keys (System\CurrentControlSet leads to System\ControlSet001);
// nothing when there is no such key.
std::optional<QString> resolveKey(const QByteArray &text, const QString &path);

// The text without the named value of the key (all its lines); every other
// byte stays as it was. Nothing when the key or the value is absent.
std::optional<QByteArray> withoutValue(const QByteArray &text, const QString &keyPath, const QString &valueName);

} // namespace WineHive

} // namespace movan
