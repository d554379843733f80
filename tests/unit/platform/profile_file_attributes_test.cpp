// A save keeps what an administrator set on the file beside its bytes: a
// POSIX ACL that shares it with one more account, and other extended
// attributes, whether the save replaces the file or rewrites it in place.
#include "platform/profile_file.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace movan;

namespace {

// The kernel's form of an access ACL: owner rw, user 12345 rw, group r, mask
// rw, others nothing (what "setfacl -m u:12345:rw" leaves on a 0640 file).
QByteArray accessAcl()
{
    struct Entry {
        std::uint16_t tag;
        std::uint16_t perm;
        std::uint32_t id;
    };
    const Entry entries[] = {
        {0x01, 6, 0xFFFFFFFF}, {0x02, 6, 12345}, {0x04, 4, 0xFFFFFFFF}, {0x10, 6, 0xFFFFFFFF}, {0x20, 0, 0xFFFFFFFF}};
    QByteArray acl;
    const std::uint32_t version = 2;
    acl.append(reinterpret_cast<const char *>(&version), sizeof version);
    for (const Entry &e : entries) {
        acl.append(reinterpret_cast<const char *>(&e.tag), sizeof e.tag);
        acl.append(reinterpret_cast<const char *>(&e.perm), sizeof e.perm);
        acl.append(reinterpret_cast<const char *>(&e.id), sizeof e.id);
    }
    return acl;
}

QMap<QByteArray, QByteArray> attributes(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    QMap<QByteArray, QByteArray> found;
    QByteArray names(4096, '\0');
    const ssize_t size = ::listxattr(name.constData(), names.data(), size_t(names.size()));
    if (size <= 0)
        return found;
    for (const QByteArray &attribute : names.left(size).split('\0')) {
        if (attribute.isEmpty())
            continue;
        QByteArray value(4096, '\0');
        const ssize_t got = ::getxattr(name.constData(), attribute.constData(), value.data(), size_t(value.size()));
        found.insert(attribute, got < 0 ? QByteArray("<unreadable>") : value.left(got));
    }
    return found;
}

ino_t inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

TEST(ProfileFileAttributes, AclAndExtendedAttributesSurviveEverySave)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("InitPrg.ini"));
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("one"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    const QByteArray file = QFile::encodeName(path);
    const QByteArray acl = accessAcl();
    if (::setxattr(file.constData(), "system.posix_acl_access", acl.constData(), size_t(acl.size()), 0) != 0)
        GTEST_SKIP() << "the file system of the temporary folder takes no ACL";
    ASSERT_EQ(::setxattr(file.constData(), "user.movan.shared", "by the office", 13, 0), 0);
    const QMap<QByteArray, QByteArray> before = attributes(path);
    ASSERT_EQ(before.size(), 2);
    struct stat st {};
    ASSERT_EQ(::stat(file.constData(), &st), 0);
    const mode_t mode = st.st_mode & 07777;

    const ino_t original = inodeOf(path);
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("two"));
    // Replaced through a new file, which carries them over.
    EXPECT_NE(inodeOf(path), original);
    EXPECT_EQ(attributes(path), before);
    ASSERT_EQ(::stat(file.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    EXPECT_EQ(ProfileFile(path).readString(QStringLiteral("DataBase"), QStringLiteral("Server"), {}),
              QStringLiteral("two"));

    // A folder this user may not write: the save goes in place and keeps
    // them as well.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0500), 0);
    const bool folderRefusesUs = ::access(QFile::encodeName(dir.path()).constData(), W_OK) != 0;
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("three"));
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    if (folderRefusesUs) {
        EXPECT_EQ(attributes(path), before);
        EXPECT_EQ(ProfileFile(path).readString(QStringLiteral("DataBase"), QStringLiteral("Server"), {}),
                  QStringLiteral("three"));
    }
}

// The folder's default ACL gives a new file entries of its own; the
// replacement of a file that had none must not gain them.
TEST(ProfileFileAttributes, FolderDefaultAclIsNotAddedToAFileWithoutOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("InitPrg.ini"));
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("one"));
    const QByteArray acl = accessAcl();
    if (::setxattr(QFile::encodeName(dir.path()).constData(), "system.posix_acl_default", acl.constData(),
                   size_t(acl.size()), 0)
        != 0)
        GTEST_SKIP() << "the file system of the temporary folder takes no ACL";
    const QMap<QByteArray, QByteArray> before = attributes(path);
    ProfileFile(path).writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("two"));
    EXPECT_EQ(attributes(path), before);
}

} // namespace
