// Finding the default database's files in a folder: extensions in any letter
// case, regular files only, the first in the order an NTFS folder lists them.
#include "setup/default_database_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DefaultDatabaseFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    void file(const QString &name)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    void folder(const QString &name) { ASSERT_TRUE(QDir(dir.path()).mkdir(name)); }
    QString first(const QString &extension) const
    {
        const QString found = firstFileWithExtension(dir.path() + u'/', extension);
        return found.isEmpty() ? QString() : found.mid(dir.path().size() + 1);
    }

    QTemporaryDir dir;
};

TEST_F(DefaultDatabaseFiles, ExtensionMatchesInAnyLetterCase)
{
    for (const QString &name : {QStringLiteral("one.MDF"), QStringLiteral("two.mdf"), QStringLiteral("three.Mdf")}) {
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        file(name);
        EXPECT_EQ(first(QStringLiteral("mdf")), name);
    }
}

TEST_F(DefaultDatabaseFiles, OnlyRegularFilesWithThatExactExtensionCount)
{
    folder(QStringLiteral("A.mdf"));
    file(QStringLiteral("B.mdf.bak"));
    file(QStringLiteral("Cmdf"));
    file(QStringLiteral("D.ldf"));
    EXPECT_EQ(first(QStringLiteral("mdf")), QString());
    file(QStringLiteral("Z.mdf"));
    EXPECT_EQ(first(QStringLiteral("mdf")), QStringLiteral("Z.mdf"));
    EXPECT_EQ(first(QStringLiteral("ldf")), QStringLiteral("D.ldf"));
}

TEST_F(DefaultDatabaseFiles, FirstInUpperCaseNameOrder)
{
    // Each rule a careless search might use picks a different one of these:
    // directory order, byte order ("TarnelX"), lower-case order ("Tarnel_"),
    // or a folder ("Tarnel.mdf"). Upper-case order, as NTFS keeps its
    // folders, picks "tarnelA".
    folder(QStringLiteral("Tarnel.mdf"));
    file(QStringLiteral("TarnelX.mdf"));
    file(QStringLiteral("Tarnel_.MDF"));
    file(QStringLiteral("tarnelA.mdf"));
    EXPECT_EQ(first(QStringLiteral("mdf")), QStringLiteral("tarnelA.mdf"));

    // Names equal but for case: the same one on every computer.
    file(QStringLiteral("data.ldf"));
    file(QStringLiteral("Data.ldf"));
    EXPECT_EQ(first(QStringLiteral("ldf")), QStringLiteral("Data.ldf"));
}

TEST_F(DefaultDatabaseFiles, MissingFolderFindsNothing)
{
    EXPECT_EQ(firstFileWithExtension(dir.filePath(QStringLiteral("Data/")), QStringLiteral("mdf")), QString());
}

} // namespace
