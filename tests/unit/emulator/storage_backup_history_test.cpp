// msdb's backup and restore history as the storage keeps it: the rows a
// backup and a restore add, their survival across restarts, and files that
// do not load.

#include "storage/atomic_file.h"
#include "storage/backup_history.h"
#include "storage/storage_error.h"
#include "storage_test_support.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace sqlemu {
namespace {

using test::readBytes;
using test::TempFolder;
using test::writeBytes;

BackupSetInfo setOn(const FileFamilyId &family, int position, const std::string &name = {})
{
    BackupSetInfo set;
    set.position = position;
    set.name = name;
    set.databaseName = "Tarnel";
    set.serverName = "HOST1";
    set.userName = "sa";
    set.backupStart = DateTimeValue{3'900'000'000'000};
    set.backupFinish = DateTimeValue{3'900'000'002'000};
    set.familyId = family;
    set.setLength = 4'202'496;
    return set;
}

class BackupHistoryTest : public ::testing::Test {
protected:
    TempFolder folder;
    const FileFamilyId medium{1, 2, 3};
    const FileFamilyId otherMedium{9, 9, 9};
};

TEST_F(BackupHistoryTest, SetsOnOneMediumShareItsMediaSetAndARestorePointsAtTheSetItRead)
{
    BackupHistory history(folder.path());
    const auto first = history.recordBackup(setOn(medium, 1, "nightly"), "D:\\Backup\\Tarnel.Bak", false);
    const auto second = history.recordBackup(setOn(medium, 2), "D:\\Backup\\Tarnel.Bak", true);
    const auto elsewhere = history.recordBackup(setOn(otherMedium, 1), "E:\\Other.Bak", false);
    EXPECT_EQ(first.backupSetId, 1);
    EXPECT_EQ(second.backupSetId, 2);
    EXPECT_EQ(second.mediaSetId, first.mediaSetId);
    EXPECT_NE(elsewhere.mediaSetId, first.mediaSetId);
    EXPECT_EQ(first.name, std::optional<std::string>("nightly"));
    EXPECT_EQ(second.name, std::nullopt); // no NAME = ...: NULL
    EXPECT_EQ(second.position, 2);
    EXPECT_TRUE(second.copyOnly);
    EXPECT_EQ(first.backupSize, 4'202'496);
    EXPECT_EQ(first.type, 'D');

    RestoreEvent event{
        setOn(medium, 2), "D:\\Backup\\Tarnel.Bak", "Copy", "bob", DateTimeValue{3'900'000'100'000}, true};
    const auto restore = history.recordRestore(event);
    EXPECT_EQ(restore.restoreHistoryId, 1);
    EXPECT_EQ(restore.destinationDatabaseName, "Copy");
    EXPECT_TRUE(restore.replace);
    EXPECT_TRUE(restore.recovery);
    const auto sets = history.backupSets();
    ASSERT_EQ(sets.size(), 4u);
    EXPECT_EQ(restore.backupSetId, sets.back().backupSetId);
    EXPECT_EQ(sets.back().position, 2);
    EXPECT_EQ(sets.back().mediaSetId, first.mediaSetId);

    const auto families = history.mediaFamilies();
    ASSERT_EQ(families.size(), 2u);
    EXPECT_EQ(families[0].physicalDeviceName, "D:\\Backup\\Tarnel.Bak"); // as the statement named it
    EXPECT_EQ(families[0].deviceType, 2);
    EXPECT_EQ(families[1].physicalDeviceName, "E:\\Other.Bak");
}

TEST_F(BackupHistoryTest, TheHistorySurvivesARestartWhole)
{
    std::vector<BackupSetRecord> sets;
    std::vector<MediaFamilyRecord> families;
    std::vector<RestoreRecord> restores;
    {
        BackupHistory history(folder.path());
        history.recordBackup(setOn(medium, 1, "نسخه"), "/b/Tarnel.Bak", false);
        history.recordRestore(
            {setOn(medium, 1), "/b/Tarnel.Bak", "Tarnel", "sa", DateTimeValue{3'900'000'100'000}, false});
        sets = history.backupSets();
        families = history.mediaFamilies();
        restores = history.restores();
    }
    BackupHistory again(folder.path());
    EXPECT_EQ(again.backupSets(), sets);
    EXPECT_EQ(again.mediaFamilies(), families);
    EXPECT_EQ(again.restores(), restores);
    // Ids go on from where they were.
    EXPECT_EQ(again.recordBackup(setOn(medium, 2), "/b/Tarnel.Bak", false).backupSetId, 3);
}

TEST_F(BackupHistoryTest, AHistoryThatDoesNotLoadIsRefusedAndKept)
{
    const std::string good = [&] {
        BackupHistory history(folder.path());
        history.recordBackup(setOn(medium, 1), "/b/Tarnel.Bak", false);
        history.recordBackup(setOn(medium, 2), "/b/Tarnel.Bak", false);
        return readBytes(folder.path() / BackupHistory::kFileName);
    }();
    const auto replaced = [&](const std::string &from, const std::string &to) {
        std::string text = good;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const struct {
        const char *what;
        std::string text;
    } cases[] = {
        {"not JSON", good.substr(0, good.size() / 2)},
        {"a newer format", replaced("\"format\": 1", "\"format\": 2")},
        {"ids that do not increase", replaced("\"backupSetId\": 2", "\"backupSetId\": 1")},
        {"an unknown backup type", replaced("\"type\": \"D\"", "\"type\": \"X\"")},
        {"a date that is none", replaced("\"backupStart\": \"", "\"backupStart\": \"x")},
        {"a missing member", replaced("\"restores\"", "\"restored\"")},
        {"a value of the wrong kind", replaced("\"backupSets\": [", "\"backupSets\": [7,")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(folder.path() / BackupHistory::kFileName, c.text);
        EXPECT_THROW(BackupHistory{folder.path()}, StorageError);
        EXPECT_EQ(readBytes(folder.path() / BackupHistory::kFileName), c.text);
    }
}

TEST_F(BackupHistoryTest, ARowThatCannotBeSavedIsNotShown)
{
    BackupHistory history(folder.path());
    history.recordBackup(setOn(medium, 1), "/b/Tarnel.Bak", false);
    const auto before = readBytes(history.filePath());
    // A folder where the temporary file goes: the save cannot be made.
    std::filesystem::create_directory(temporaryPathFor(history.filePath()));
    EXPECT_THROW(history.recordBackup(setOn(medium, 2), "/b/Tarnel.Bak", false), StorageError);
    EXPECT_THROW(history.recordRestore({setOn(medium, 1), "/b/Tarnel.Bak", "T", "sa", {}, false}), StorageError);
    EXPECT_EQ(history.backupSets().size(), 1u);
    EXPECT_TRUE(history.restores().empty());
    EXPECT_EQ(readBytes(history.filePath()), before);
    std::filesystem::remove(temporaryPathFor(history.filePath()));
    EXPECT_EQ(history.recordBackup(setOn(medium, 2), "/b/Tarnel.Bak", false).backupSetId, 2);
}

} // namespace
} // namespace sqlemu
