#pragma once

// Who owns a file and its permission bits, to compare before and after a save.

#include <QFile>
#include <QString>

#include <ostream>
#include <sys/stat.h>

struct Ownership {
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool operator==(const Ownership &) const = default;
};

inline Ownership ownershipOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return {st.st_uid, st.st_gid, st.st_mode & 07777};
}

inline std::ostream &operator<<(std::ostream &out, const Ownership &o)
{
    return out << o.owner << ':' << o.group << " mode " << std::oct << o.mode << std::dec;
}
