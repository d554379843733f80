#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace movan {

class TPersistent;

// The binary encoding in which a window's components store their properties:
// each property is its dotted path as a short string (length byte, then the
// Latin-1 characters) followed by a tagged value; a zero byte ends the list.
// Only raw byte values (tag 0x0A, 32-bit little-endian length, payload) are
// needed by the objects stored this way.
namespace PropertyStream {

inline constexpr char kBinaryValueTag = 0x0A;
inline constexpr char kEndOfList = 0x00;

// The tagged raw-bytes value alone, as it follows a property name.
QByteArray encodeBinaryValue(const QByteArray &payload);

// Writes every extra stored property of root and of the persistent objects it
// owns (recursively), then the end-of-list marker.
void writeProperties(QIODevice &out, TPersistent &root);
QByteArray writeProperties(TPersistent &root);

// Reads properties written by writeProperties into root. An unknown property,
// a value of another kind or a value cut short raises EReadError; properties
// read before the failure keep their new value.
void readProperties(QIODevice &in, TPersistent &root);
void readProperties(const QByteArray &bytes, TPersistent &root);

} // namespace PropertyStream

} // namespace movan
