#pragma once

#include "platform/app_error.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <optional>
#include <utility>

namespace movan {

// Refused before anything is written: the file would lose or garble the
// value, or the write failed and the file is as it was. The message is for
// the user: what happened, where, why, and who can mend it.
class ProfileWriteError : public AppError {
public:
    using AppError::AppError;
};

// The user gave up waiting for another program's lock: nothing was written.
class ProfileWriteGivenUp : public ProfileWriteError {
public:
    using ProfileWriteError::ProfileWriteError;
};

// The file is there but cannot be read (no permission, or a folder, a pipe or
// a device under its name): its settings are unknown, and a reader must not
// go on as if the file held none.
class ProfileReadError : public AppError {
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
// only where they can be trusted (see trustedLinkTarget); writeStrings
// changes several keys in one such step, so no other writer comes between
// them and a failure leaves all of them as they were.
class ProfileFile {
public:
    static constexpr int kMaxValueLength = 2047;

    explicit ProfileFile(QString path);

    const QString &path() const { return m_path; }
    // Whether anything stands at the path, a regular file or not.
    bool exists() const;

    // Throws ProfileReadError when the file exists but cannot be read; a
    // missing file gives the default.
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

    // Answers every later read with its default, as for a missing file: for
    // a caller that has reported the ProfileReadError and goes on.
    void readAsEmpty() { m_contents = QByteArray(); }

    // Throws ProfileWriteError, with the file unchanged, when the file cannot
    // be written (saying why, in which folder, and who can mend it), or with
    // a reason naming the key (never the value, which may be a password)
    // when the text cannot be stored.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeStrings(const QString &section, const QList<std::pair<QString, QString>> &keysAndValues);

    // A write waiting for another program's lock stops waiting once flag is
    // set, throwing ProfileWriteGivenUp; the flag must outlive the writes.
    void setGiveUpFlag(const std::atomic<bool> *flag) { m_giveUp = flag; }

private:
    const QByteArray &contents() const;

    QString m_path;
    mutable std::optional<QByteArray> m_contents;
    const std::atomic<bool> *m_giveUp = nullptr;
};

} // namespace movan
