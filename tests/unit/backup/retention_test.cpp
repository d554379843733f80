#include "backup/retention.h"

#include "support/temp_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace movan;

namespace {

const QString kDb = QStringLiteral("Tarnel");

QString own(const char *moment)
{
    return kDb + u'_' + QString::fromLatin1(moment) + QStringLiteral(".Bak");
}

} // namespace

// The oldest go, by the moment in their names, whatever order the folder
// lists them in; what is not the database's own never counts and never goes.
TEST(BackupsToRemove, OldestOfTheDatabasesOwnGo)
{
    const QStringList folder = {own("14050101_10-00"), QStringLiteral("Tarnel_X_14040101_10-00.Bak"),
                                own("14041229_23-59"), QStringLiteral("notes.txt"),
                                own("14050916_02-00"), QStringLiteral("Tarnel.Bak"),
                                own("14050101_09-59"), QStringLiteral("tarnel_14000101_00-00.Bak")};
    const QString justWritten = own("14050917_02-00");
    const QStringList all = folder + QStringList{justWritten};

    EXPECT_EQ(backupsToRemove(all, kDb, 3, justWritten), (QStringList{own("14050101_09-59"), own("14041229_23-59")}));
    EXPECT_EQ(
        backupsToRemove(all, kDb, 1, justWritten),
        (QStringList{own("14050916_02-00"), own("14050101_10-00"), own("14050101_09-59"), own("14041229_23-59")}));
    EXPECT_TRUE(backupsToRemove(all, kDb, 5, justWritten).isEmpty());
    EXPECT_TRUE(backupsToRemove(all, kDb, 0, justWritten).isEmpty());
}

// A clock set back gives the new backup an older name than the others: it
// still stays, and only keep - 1 of the others stay beside it.
TEST(BackupsToRemove, TheOneJustWrittenAlwaysStays)
{
    const QString justWritten = own("13990101_00-00");
    const QStringList all = {own("14050101_10-00"), own("14050102_10-00"), justWritten};
    const QStringList removed = backupsToRemove(all, kDb, 2, justWritten);
    EXPECT_EQ(removed, QStringList{own("14050101_10-00")});
}

// On disk: only plain files go; a link or a folder with a backup's name is
// left, and so is everything else in the folder.
TEST(RemoveOldBackups, PlainFilesOfTheDatabaseOnly)
{
    sqlemu::test::TempFolder temp;
    const QDir dir(QString::fromStdString(temp.path().string()));
    auto make = [&](const QString &name) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("set");
    };
    const QString justWritten = own("14050917_02-00");
    for (const QString &name : {own("14050101_10-00"), own("14050102_10-00"), own("14050103_10-00"), justWritten,
                                QStringLiteral("Tarnel_X_14000101_10-00.Bak"), QStringLiteral("readme.txt")})
        make(name);
    ASSERT_TRUE(dir.mkdir(own("14000101_00-00")));
    const QString target = dir.filePath(QStringLiteral("readme.txt"));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                        QFile::encodeName(dir.filePath(own("14000102_00-00"))).constData()),
              0);

    const RetentionOutcome outcome = removeOldBackups(dir.path(), kDb, 2, justWritten);
    EXPECT_EQ(outcome.removed, (QStringList{dir.filePath(own("14050102_10-00")), dir.filePath(own("14050101_10-00"))}));
    EXPECT_TRUE(outcome.kept.isEmpty());
    EXPECT_EQ(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
              (QStringList{own("14000101_00-00"), own("14000102_00-00"), own("14050103_10-00"), justWritten,
                           QStringLiteral("Tarnel_X_14000101_10-00.Bak"), QStringLiteral("readme.txt")}));
}
