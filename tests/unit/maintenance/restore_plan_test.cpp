// The choices the restore makes before it asks the server to change
// anything: which set, whose file, how a date reads, where the copy goes.
#include "maintenance/restore_plan.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

TEST(RestorePlan, NewestWholeDatabaseSetIsChosenWhateverTheRowOrder)
{
    const auto set = [](int position, int type, const char *database) {
        BackupSetSummary s;
        s.position = position;
        s.backupType = type;
        s.database = QString::fromLatin1(database);
        return s;
    };
    const QList<BackupSetSummary> sets = {
        set(2, 1, "B"),
        set(3, 2, "log"), // a log backup is never restored here
        set(1, 1, "A"),
    };
    ASSERT_TRUE(newestDatabaseSet(sets));
    EXPECT_EQ(newestDatabaseSet(sets)->position, 2);
    EXPECT_EQ(newestDatabaseSet(sets)->database, QStringLiteral("B"));
    EXPECT_FALSE(newestDatabaseSet({}));
    EXPECT_FALSE(newestDatabaseSet({set(1, 2, "log")}));
}

TEST(RestorePlan, OwnerOfAFileIsFoundHoweverThePathIsWritten)
{
    const QMap<int, QString> names = {{5, QStringLiteral("Tarnel")}, {6, QStringLiteral("MovanSalary")}};
    const QList<DatabaseFileRow> files = {
        {6, QStringLiteral("/srv/data/salary.mdf")},
        {5, QStringLiteral("/opt/movan/Data/DATA.MDF")},
        {5, QStringLiteral("/opt/movan/Data/Data_Log.ldf")},
    };
    const QString folder = QStringLiteral("/opt//movan/");
    EXPECT_EQ(ownerOfFile({restoredDataPath(folder)}, files, names), QStringLiteral("Tarnel"));
    EXPECT_EQ(ownerOfFile({restoredLogPath(folder)}, files, names), QStringLiteral("Tarnel"));
    // The second form (the folder as resolved through a link) is looked at
    // too.
    EXPECT_EQ(
        ownerOfFile({QStringLiteral("/link/Data\\Data.mdf"), QStringLiteral("/opt/movan/Data/Data.mdf")}, files, names),
        QStringLiteral("Tarnel"));
    EXPECT_FALSE(ownerOfFile({QStringLiteral("/opt/movan/Data/Data.mdf.old"), QString()}, files, names));
    EXPECT_FALSE(ownerOfFile({restoredDataPath(folder)}, {}, names));
}

TEST(RestorePlan, SafetyCopyStaysInDataUnderANameAFileCanHold)
{
    const QDateTime at(QDate(2026, 12, 7), QTime(18, 4, 5));
    EXPECT_EQ(safetyBackupPath(QStringLiteral("/app/"), QStringLiteral("../x]/y z"), at, QStringLiteral("0a1b")),
              QStringLiteral("/app/Data\\___x__y_z_before_restore_20261207_180405_0a1b.Bak"));
    EXPECT_EQ(safetyBackupPath(QStringLiteral("/app/"), QStringLiteral("تارنل"), at, QStringLiteral("ff")),
              QStringLiteral("/app/Data\\تارنل_before_restore_20261207_180405_ff.Bak"));
}

// The safety net's statements name their set: a copy appended to a file that
// already held one must not bring the older content back.
TEST(RestorePlan, SafetyNetStatementsNameTheirSetAndQuoteTheirNames)
{
    EXPECT_EQ(safetyBackupSql("O'Brien]x", "/d/a'b.Bak", "Before restore 0a"),
              "BACKUP DATABASE [O'Brien]]x] TO DISK = N'/d/a''b.Bak' WITH COPY_ONLY, NAME = N'Before restore 0a'");
    EXPECT_EQ(bringBackSql("O'Brien]x", "/d/a'b.Bak", 3),
              "RESTORE DATABASE [O'Brien]]x] FROM DISK = N'/d/a''b.Bak' WITH FILE = 3, REPLACE");
    EXPECT_EQ(megabytesFor(0), 0);
    EXPECT_EQ(megabytesFor(1), 1);
    EXPECT_EQ(megabytesFor(1024 * 1024), 1);
    EXPECT_EQ(megabytesFor(1024 * 1024 + 1), 2);
}

} // namespace
