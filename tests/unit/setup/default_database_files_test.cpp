// Finding the default database's files: extensions in any letter case,
// regular files only, the first in the order an NTFS folder lists them.
#include "setup/default_database_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace movan;

namespace {

class DefaultDatabaseFiles : public ::testing::Test {
protected:
    void add(const QString &name, bool asFolder = false)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(asFolder ? QDir(dir.path()).mkdir(name) : file.open(QIODevice::WriteOnly));
    }
    QString first(const QString &extension) const
    {
        return firstFileWithExtension(dir.path() + u'/', extension).section(u'/', -1);
    }

    QTemporaryDir dir;
};

TEST_F(DefaultDatabaseFiles, RegularFilesWithTheExtensionInAnyCase)
{
    add(QStringLiteral("A.mdf"), true);
    add(QStringLiteral("B.mdf.bak"));
    add(QStringLiteral("Cmdf"));
    EXPECT_EQ(first(QStringLiteral("mdf")), QString());
    add(QStringLiteral("Z.Mdf"));
    EXPECT_EQ(first(QStringLiteral("mdf")), QStringLiteral("Z.Mdf"));
    add(QStringLiteral("Y.MDF"));
    EXPECT_EQ(first(QStringLiteral("mdf")), QStringLiteral("Y.MDF"));
    EXPECT_EQ(firstFileWithExtension(dir.filePath(QStringLiteral("Data/")), QStringLiteral("mdf")), QString());
}

TEST_F(DefaultDatabaseFiles, FirstInUpperCaseNameOrder)
{
    // Each careless rule picks another one: byte order "TarnelX", lower-case
    // order "Tarnel_", a folder "Tarnel.mdf". NTFS order picks "tarnelA".
    add(QStringLiteral("Tarnel.mdf"), true);
    add(QStringLiteral("TarnelX.mdf"));
    add(QStringLiteral("Tarnel_.MDF"));
    add(QStringLiteral("tarnelA.mdf"));
    EXPECT_EQ(first(QStringLiteral("mdf")), QStringLiteral("tarnelA.mdf"));
    // Names equal but for case: the same one on every computer.
    add(QStringLiteral("data.ldf"));
    add(QStringLiteral("Data.ldf"));
    EXPECT_EQ(first(QStringLiteral("ldf")), QStringLiteral("Data.ldf"));
}

} // namespace
