#pragma once

#include "platform/app_error.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace movan {

// Refused before anything is written: the file would lose or garble the
// value, or the write failed.
class ProfileWriteError : public AppError {
public:
    using AppError::AppError;
};

// An INI file read and written the way the Windows private-profile functions
// do it, because the sibling programs read the same file with them:
// - sections and keys match case-insensitively, the first match wins;
// - a value read loses its leading and trailing blanks and one pair of
//   enclosing quotes, and is cut at kMaxValueLength characters; a default
//   loses its trailing blanks;
// - a write updates the key in place, adds a missing key at the end of its
//   section and a missing section at the end of the file, and keeps every other
//   line byte for byte; the first write creates the file.
// The file is Windows-1256 with CR LF line ends. One object reads the file
// once, at its first read, and then answers from that text and from its own
// writes; open a new one to see another program's changes. Every write reads,
// changes and stores the file under a lock (see LockedFile), through links
// only where they can be trusted (see trustedLinkTarget).
class ProfileFile {
public:
    static constexpr int kMaxValueLength = 2047;

    explicit ProfileFile(QString path);

    const QString &path() const { return m_path; }
    bool exists() const;

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

    // Throws ProfileWriteError with "Unable to write to <path>" when the file
    // cannot be written, or a reason naming the key (never the value, which
    // may be a password) when the text cannot be stored.
    void writeString(const QString &section, const QString &key, const QString &value);

private:
    const QByteArray &contents() const;

    QString m_path;
    mutable std::optional<QByteArray> m_contents;
};

} // namespace movan
