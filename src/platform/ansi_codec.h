#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace movan {

// The sibling programs read and write their shared files in the ANSI code page
// Windows-1256; inside this program text is QString. These are the only two
// crossings between the two.
namespace AnsiCodec {

// Every byte has a meaning in Windows-1256, so decoding never fails.
QString decode(const QByteArray &ansi);

// Empty when the text holds a character that Windows-1256 cannot represent.
std::optional<QByteArray> encode(const QString &text);

} // namespace AnsiCodec

} // namespace movan
