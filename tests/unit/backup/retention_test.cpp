#include "backup/retention.h"
#include "backup/verified_record.h"

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

QSet<QString> allOf(const QStringList &names)
{
    return QSet<QString>(names.begin(), names.end());
}

void write(const QDir &dir, const QString &name, const QByteArray &bytes = "set")
{
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(bytes);
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

    const QSet<QString> verified = allOf(all);

    EXPECT_EQ(backupsToRemove(all, kDb, 3, justWritten, verified),
              (QStringList{own("14050101_09-59"), own("14041229_23-59")}));
    EXPECT_EQ(
        backupsToRemove(all, kDb, 1, justWritten, verified),
        (QStringList{own("14050916_02-00"), own("14050101_10-00"), own("14050101_09-59"), own("14041229_23-59")}));
    EXPECT_TRUE(backupsToRemove(all, kDb, 5, justWritten, verified).isEmpty());
    EXPECT_TRUE(backupsToRemove(all, kDb, 0, justWritten, verified).isEmpty());
}

// A clock set back gives the new backup an older name than the others: it
// still stays, and only keep - 1 of the others stay beside it.
TEST(BackupsToRemove, TheOneJustWrittenAlwaysStays)
{
    const QString justWritten = own("13990101_00-00");
    const QStringList all = {own("14050101_10-00"), own("14050102_10-00"), justWritten};
    const QStringList removed = backupsToRemove(all, kDb, 2, justWritten, allOf(all));
    EXPECT_EQ(removed, QStringList{own("14050101_10-00")});
}

// A backup never read back whole neither takes a place of keep nor goes:
// the verified ones older than it still do, the newest verified stays.
TEST(BackupsToRemove, UnverifiedBackupsNeitherCountNorGo)
{
    const QString justWritten = own("14050917_02-00");
    const QStringList all
        = {own("14050916_02-00"), own("14050915_02-00"), own("14050914_02-00"), own("14050913_02-00"), justWritten};
    // The two newest before the new one were never verified.
    const QSet<QString> verified = {own("14050914_02-00"), own("14050913_02-00"), justWritten};
    EXPECT_EQ(backupsToRemove(all, kDb, 2, justWritten, verified), QStringList{own("14050913_02-00")});
    EXPECT_EQ(backupsToRemove(all, kDb, 1, justWritten, verified),
              (QStringList{own("14050914_02-00"), own("14050913_02-00")}));
    EXPECT_TRUE(backupsToRemove(all, kDb, 1, justWritten, {justWritten}).isEmpty());
}

// The record of verified files: read back as written, a line that is not
// one of its own ignored, a name that would reach outside the folder never
// taken.
TEST(VerifiedRecord, TextRoundTripAndStrayLines)
{
    const QMap<QString, qint64> entries
        = {{QStringLiteral("O'Brien [%] تارنل_14050916_02-00.Bak"), 4198400}, {own("14050101_10-00"), 0}};
    EXPECT_EQ(parseVerifiedRecord(verifiedRecordText(entries)), entries);
    const QByteArray stray = "12\t../outside.Bak\n-1\tnegative.Bak\nx\tnot-a-size.Bak\n\tnameless\n"
                             "7\tsub/dir.Bak\nno tab at all\n9\t..\n5\tfine.Bak";
    EXPECT_EQ(parseVerifiedRecord(stray), (QMap<QString, qint64>{{QStringLiteral("fine.Bak"), 5}}));
}

// On disk: a file counts while its size is the one recorded; a set appended
// since, or the file gone or replaced by a link, takes it out.
TEST(VerifiedRecord, CountsAFileOnlyAtTheSizeItWasVerified)
{
    sqlemu::test::TempFolder temp;
    const QDir dir(QString::fromStdString(temp.path().string()));
    const QString first = own("14050101_10-00");
    const QString second = own("14050102_10-00");
    const QString third = own("14050103_10-00");
    for (const QString &name : {first, second, third})
        write(dir, name);
    EXPECT_TRUE(verifiedBackups(dir.path()).isEmpty());
    for (const QString &name : {first, second, third})
        EXPECT_FALSE(recordVerification(dir.path(), name, true));
    EXPECT_EQ(verifiedBackups(dir.path()), (QSet<QString>{first, second, third}));

    write(dir, second, "another set");
    ASSERT_TRUE(QFile::remove(dir.filePath(third)));
    ASSERT_EQ(::symlink(QFile::encodeName(dir.filePath(first)).constData(),
                        QFile::encodeName(dir.filePath(third)).constData()),
              0);
    EXPECT_EQ(verifiedBackups(dir.path()), QSet<QString>{first});

    // Verified again at its new size; then a run that could not verify it.
    EXPECT_FALSE(recordVerification(dir.path(), second, true));
    EXPECT_EQ(verifiedBackups(dir.path()), (QSet<QString>{first, second}));
    EXPECT_FALSE(recordVerification(dir.path(), first, false));
    EXPECT_EQ(verifiedBackups(dir.path()), QSet<QString>{second});
    // Files that are gone leave the record at its next writing.
    ASSERT_TRUE(QFile::remove(dir.filePath(second)));
    EXPECT_FALSE(recordVerification(dir.path(), first, false));
    QFile record(dir.filePath(kVerifiedRecordName));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().isEmpty());
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

    // All but the oldest were verified; the oldest, never checked, stays.
    write(dir, own("14040101_10-00"));
    for (const QString &name : {own("14050101_10-00"), own("14050102_10-00"), own("14050103_10-00"), justWritten,
                                own("14000101_00-00"), own("14000102_00-00")})
        EXPECT_FALSE(recordVerification(dir.path(), name, true));

    const RetentionOutcome outcome = removeOldBackups(dir.path(), kDb, 2, justWritten);
    EXPECT_EQ(outcome.removed, (QStringList{dir.filePath(own("14050102_10-00")), dir.filePath(own("14050101_10-00"))}));
    EXPECT_TRUE(outcome.kept.isEmpty());
    EXPECT_EQ(outcome.unverified, QStringList{dir.filePath(own("14040101_10-00"))});
    EXPECT_EQ(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name),
              (QStringList{own("14000101_00-00"), own("14000102_00-00"), own("14040101_10-00"), own("14050103_10-00"),
                           justWritten, QStringLiteral("Tarnel_X_14000101_10-00.Bak"), QStringLiteral("readme.txt")}));
}
