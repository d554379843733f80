// The choices the restore makes before it asks the server to change
// anything: which set, whose file, how a date reads, where the copy goes.
#include "maintenance/restore_plan.h"

#include <gtest/gtest.h>

using namespace movan;

namespace {

TEST(RestorePlan, NewestWholeDatabaseSetIsChosenWhateverTheRowOrder)
{
    const QList<BackupSetHeader> sets = {
        {2, 1, QStringLiteral("B"), {}},
        {3, 2, QStringLiteral("log"), {}}, // a log backup is never restored here
        {1, 1, QStringLiteral("A"), {}},
    };
    ASSERT_TRUE(newestDatabaseSet(sets));
    EXPECT_EQ(newestDatabaseSet(sets)->position, 2);
    EXPECT_EQ(newestDatabaseSet(sets)->databaseName, QStringLiteral("B"));
    EXPECT_FALSE(newestDatabaseSet({}));
    EXPECT_FALSE(newestDatabaseSet({{1, 2, QStringLiteral("log"), {}}}));
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
    EXPECT_EQ(safetyBackupPath(QStringLiteral("/app/"), QStringLiteral("../x]/y z"), at),
              QStringLiteral("/app/Data\\___x__y_z_before_restore_20261207_180405.Bak"));
    EXPECT_EQ(safetyBackupPath(QStringLiteral("/app/"), QStringLiteral("تارنل"), at),
              QStringLiteral("/app/Data\\تارنل_before_restore_20261207_180405.Bak"));
}

} // namespace
