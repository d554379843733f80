#include "storage/backup_media.h"
#include "storage/server_error.h"
#include "storage_test_support.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace sqlemu {
namespace {

using namespace test;

class BackupMediaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        databases = folder.path() / "db";
        backups = folder.path() / "backups";
        restored = folder.path() / "restored";
        for (const auto &f : {databases, backups, restored})
            std::filesystem::create_directory(f);
        pair = makeDatabase(databases, "Tarnel", "Data_Data", "Data_log");
        growLogFile(pair.logPath, 300); // the log differs from a fresh one
        media = backups / "Tarnel.Bak";
    }

    BackupSetDescription description(const std::string &name = "My Backup") const
    {
        BackupSetDescription d;
        d.name = name;
        d.databaseName = "Tarnel";
        d.serverName = "HOST";
        d.userName = "sa";
        d.productVersion = "9.00.1399.06";
        d.databaseCreated = pair.data.created;
        d.files = {pair.dataPath, pair.logPath};
        return d;
    }

    std::vector<std::filesystem::path> targets() const { return {restored / "Data.mdf", restored / "Data_Log.ldf"}; }

    TempFolder folder;
    std::filesystem::path databases, backups, restored, media;
    DatabaseFilePair pair;
    OperationProgress quiet;
};

TEST_F(BackupMediaTest, FirstBackupCreatesTheMediumAndListsItsSet)
{
    const auto set = appendBackupSet(media, description(), quiet);
    EXPECT_EQ(set.position, 1);
    EXPECT_EQ(folderEntries(backups), std::vector<std::string>{"Tarnel.Bak"});

    const auto sets = readBackupSets(media);
    ASSERT_EQ(sets.size(), 1u);
    const auto &s = sets[0];
    EXPECT_EQ(s.name, "My Backup");
    EXPECT_EQ(s.databaseName, "Tarnel");
    EXPECT_EQ(s.serverName, "HOST");
    EXPECT_EQ(s.productVersion, "9.00.1399.06");
    EXPECT_EQ(s.databaseCreated, pair.data.created);
    EXPECT_LE(s.backupStart.millisecondsSince1900, s.backupFinish.millisecondsSince1900);
    ASSERT_EQ(s.files.size(), 2u);
    EXPECT_EQ(s.files[0].logicalName, "Data_Data");
    EXPECT_EQ(s.files[0].physicalName, pair.dataPath.string());
    EXPECT_EQ(s.files[0].type, DatabaseFileType::Data);
    EXPECT_EQ(s.files[0].sizePages, 128);
    EXPECT_EQ(s.files[1].logicalName, "Data_log");
    EXPECT_EQ(s.files[1].type, DatabaseFileType::Log);
    EXPECT_EQ(s.files[1].sizePages, readDatabaseFileHeader(pair.logPath).sizePages);
    ASSERT_NE(s.fileByLogicalName("DATA_LOG"), nullptr);
    EXPECT_EQ(s.fileByLogicalName("other"), nullptr);
    verifyBackupSet(media, 1, quiet);
}

TEST_F(BackupMediaTest, AppendingLeavesEarlierSetsByteForByteAndRestoresTheFirst)
{
    appendBackupSet(media, description("first"), quiet);
    const auto firstBytes = readBytes(media);
    growLogFile(pair.logPath, 50);
    const auto second = appendBackupSet(media, description("second"), quiet);
    EXPECT_EQ(second.position, 2);

    const auto after = readBytes(media);
    // The media header holds the commit; every byte of the first set is unchanged.
    EXPECT_EQ(after.substr(8192, firstBytes.size() - 8192), firstBytes.substr(8192));
    const auto sets = readBackupSets(media);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].name, "first");
    EXPECT_EQ(sets[1].name, "second");
    verifyBackupSet(media, 1, quiet);
    verifyBackupSet(media, 2, quiet);

    // Without FILE = n the first set is restored: the files as they were then.
    const auto firstData = readBytes(pair.dataPath);
    restoreBackupSet(media, 1, targets(), quiet);
    EXPECT_EQ(readBytes(targets()[0]), firstData);
    EXPECT_NE(readBytes(targets()[1]), readBytes(pair.logPath));
    restoreBackupSet(media, 2, targets(), quiet);
    EXPECT_EQ(readBytes(targets()[1]), readBytes(pair.logPath));
    EXPECT_EQ(folderEntries(restored), (std::vector<std::string>{"Data.mdf", "Data_Log.ldf"}));
    EXPECT_TRUE(isWholeDatabaseFilePair(targets()[0], targets()[1]));
}

TEST_F(BackupMediaTest, ProgressComesInStepsAsTheBytesGoAndCancelLeavesTheMediumAsItWas)
{
    std::vector<int> percents;
    OperationProgress progress;
    progress.onProgress = [&](int p) { percents.push_back(p); };
    appendBackupSet(media, description(), progress);
    EXPECT_EQ(percents, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));

    const auto before = readBytes(media);
    int calls = 0;
    OperationProgress cancelling;
    cancelling.isCancelled = [&] { return ++calls > 1; };
    EXPECT_THROW(appendBackupSet(media, description(), cancelling), OperationCancelled);
    EXPECT_EQ(readBytes(media), before);
    EXPECT_EQ(folderEntries(backups), std::vector<std::string>{"Tarnel.Bak"});

    // A cancelled first backup leaves no medium at all.
    calls = 0;
    EXPECT_THROW(appendBackupSet(backups / "new.bak", description(), cancelling), OperationCancelled);
    EXPECT_EQ(folderEntries(backups), std::vector<std::string>{"Tarnel.Bak"});

    calls = 0;
    EXPECT_THROW(restoreBackupSet(media, 1, targets(), cancelling), OperationCancelled);
    EXPECT_TRUE(folderEntries(restored).empty());
}

TEST_F(BackupMediaTest, TheTailOfAKilledAppendIsIgnoredAndCutByTheNextAppend)
{
    appendBackupSet(media, description("first"), quiet);
    const auto committed = readBytes(media);
    test::writeBytes(media, committed + std::string(123456, '\x7f')); // what a kill mid-append leaves
    ASSERT_EQ(readBackupSets(media).size(), 1u);
    verifyBackupSet(media, 1, quiet);

    appendBackupSet(media, description("second"), quiet);
    const auto sets = readBackupSets(media);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[1].setOffset, committed.size());
    EXPECT_EQ(std::filesystem::file_size(media), sets[1].setOffset + sets[1].setLength);
    verifyBackupSet(media, 2, quiet);
}

TEST_F(BackupMediaTest, ACommitWhoseSetWasCutOffGivesWayToTheOneBefore)
{
    appendBackupSet(media, description("first"), quiet);
    const auto firstSize = std::filesystem::file_size(media);
    appendBackupSet(media, description("second"), quiet);
    // As a failed flush of the second set leaves it: its commit written,
    // the set itself cut off again.
    std::filesystem::resize_file(media, firstSize);
    const auto sets = readBackupSets(media);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].name, "first");
    EXPECT_EQ(appendBackupSet(media, description("third"), quiet).position, 2);
    EXPECT_EQ(readBackupSets(media).back().name, "third");
    verifyBackupSet(media, 2, quiet);
}

TEST_F(BackupMediaTest, AnEmptyFileBecomesAMedium)
{
    test::writeBytes(media, "");
    EXPECT_EQ(serverErrorOf([&] { readBackupSets(media); }),
              std::vector<std::string>{"3254/1/16: The volume on device '" + media.string() + "' is empty."});
    appendBackupSet(media, description(), quiet);
    EXPECT_EQ(readBackupSets(media).size(), 1u);
}

TEST_F(BackupMediaTest, MediaThatCannotBeOpenedOrCreatedAre3201WithTheOperatingSystemError)
{
    const auto missing = backups / "none.bak";
    EXPECT_EQ(serverErrorOf([&] { readBackupSets(missing); }),
              std::vector<std::string>{"3201/2/16: Cannot open backup device '" + missing.string()
                                       + "'. Operating system error 2(The system cannot find the file specified.)."});
    const auto noFolder = backups / "nofolder" / "x.bak";
    EXPECT_EQ(serverErrorOf([&] { appendBackupSet(noFolder, description(), quiet); }),
              std::vector<std::string>{"3201/1/16: Cannot open backup device '" + noFolder.string()
                                       + "'. Operating system error 3(The system cannot find the path specified.)."});
    EXPECT_EQ(serverErrorNumbers([&] { restoreBackupSet(missing, 1, targets(), quiet); }), std::vector<int>{3201});
    if (::geteuid() != 0) {
        std::filesystem::permissions(backups, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        const auto lines = serverErrorOf([&] { appendBackupSet(backups / "x.bak", description(), quiet); });
        std::filesystem::permissions(backups, std::filesystem::perms::owner_all);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("Operating system error 5(Access is denied.)."), std::string::npos) << lines[0];
    }
    EXPECT_TRUE(folderEntries(backups).empty());
}

TEST_F(BackupMediaTest, AFileThatIsNotAMediumIsRefusedAndLeftAlone)
{
    const auto text = backups / "notes.bak";
    const std::string contents(50000, 'n');
    test::writeBytes(text, contents);
    EXPECT_EQ(serverErrorOf([&] { readBackupSets(text); }),
              std::vector<std::string>{"3241/0/16: The media family on device '" + text.string()
                                       + "' is incorrectly formed. SQL Server cannot process this media family."});
    EXPECT_EQ(serverErrorNumbers([&] { appendBackupSet(text, description(), quiet); }), std::vector<int>{3266});
    EXPECT_EQ(readBytes(text), contents);
}

TEST_F(BackupMediaTest, DamageIsFoundBeforeAnythingIsRestored)
{
    appendBackupSet(media, description(), quiet);
    const auto set = readBackupSet(media, 1);

    // Damage in the data of the log file.
    const auto dataDamaged = backups / "data.bak";
    std::filesystem::copy_file(media, dataDamaged);
    test::flipByte(dataDamaged, set.setOffset + set.files[1].dataOffset + 5000);
    EXPECT_EQ(serverErrorOf([&] { verifyBackupSet(dataDamaged, 1, quiet); }),
              std::vector<std::string>{"3189/1/16: Damage to the backup set was detected."});
    EXPECT_EQ(serverErrorNumbers([&] { restoreBackupSet(dataDamaged, 1, targets(), quiet); }), std::vector<int>{3189});
    EXPECT_TRUE(folderEntries(restored).empty());

    // Damage in the set's header: the set cannot even be listed.
    const auto headerDamaged = backups / "header.bak";
    std::filesystem::copy_file(media, headerDamaged);
    test::flipByte(headerDamaged, set.setOffset + 40);
    EXPECT_EQ(serverErrorNumbers([&] { readBackupSets(headerDamaged); }), std::vector<int>{3241});
    EXPECT_EQ(serverErrorNumbers([&] { appendBackupSet(headerDamaged, description(), quiet); }),
              std::vector<int>{3266});

    // Damage in one commit slot: the other one still names the sets.
    const auto slotDamaged = backups / "slot.bak";
    std::filesystem::copy_file(media, slotDamaged);
    appendBackupSet(slotDamaged, description(), quiet); // the second commit goes to the second slot
    test::flipByte(slotDamaged, 1024 + 10);
    EXPECT_EQ(readBackupSets(slotDamaged).size(), 1u);

    EXPECT_EQ(serverErrorOf([&] { readBackupSet(media, 2); }),
              std::vector<std::string>{"4038/1/16: Cannot find file ID 2 on device '" + media.string() + "'."});
}

TEST_F(BackupMediaTest, ARestoreIntoAMissingFolderNamesTheFileAndLeavesNothing)
{
    appendBackupSet(media, description(), quiet);
    const std::vector<std::filesystem::path> bad{restored / "Data.mdf", restored / "none" / "Data_Log.ldf"};
    EXPECT_EQ(serverErrorOf([&] { restoreBackupSet(media, 1, bad, quiet); }),
              (std::vector<std::string>{"5133/1/16: Directory lookup for the file \"" + bad[1].string()
                                            + "\" failed with the operating system error 3(The system cannot find "
                                              "the path specified.).",
                                        "3156/3/16: File 'Data_log' cannot be restored to '" + bad[1].string()
                                            + "'. Use WITH MOVE to identify a valid location for the file."}));
    EXPECT_TRUE(folderEntries(restored).empty());
}

TEST_F(BackupMediaTest, ARestoreReplacesExistingTargetsOnlyWhenItSucceeds)
{
    appendBackupSet(media, description(), quiet);
    test::writeBytes(targets()[0], "old data");
    test::writeBytes(targets()[1], "old log");
    int calls = 0;
    OperationProgress cancelling;
    cancelling.isCancelled = [&] { return ++calls > 1; };
    EXPECT_THROW(restoreBackupSet(media, 1, targets(), cancelling), OperationCancelled);
    EXPECT_EQ(readBytes(targets()[0]), "old data");
    EXPECT_EQ(folderEntries(restored), (std::vector<std::string>{"Data.mdf", "Data_Log.ldf"}));

    restoreBackupSet(media, 1, targets(), quiet);
    EXPECT_EQ(readBytes(targets()[0]), readBytes(pair.dataPath));
    EXPECT_EQ(readBytes(targets()[1]), readBytes(pair.logPath));
}

TEST_F(BackupMediaTest, FilesCopiedAcrossFileSystemsAreStreamedThroughMemoryAlike)
{
    // The kernel copies within one file system only; between two the
    // bytes go through our buffers, with the same checksums.
    if (!std::filesystem::is_directory("/dev/shm"))
        GTEST_SKIP() << "no second file system";
    char pattern[] = "/dev/shm/sqlemu-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path other = pattern;
    appendBackupSet(media, description(), quiet);
    const std::vector<std::filesystem::path> there{other / "Data.mdf", other / "Data_Log.ldf"};
    restoreBackupSet(media, 1, there, quiet);
    EXPECT_EQ(readBytes(there[0]), readBytes(pair.dataPath));
    EXPECT_EQ(readBytes(there[1]), readBytes(pair.logPath));
    BackupSetDescription fromThere = description();
    fromThere.files = there;
    appendBackupSet(media, fromThere, quiet);
    verifyBackupSet(media, 2, quiet);
    std::filesystem::remove_all(other);
}

} // namespace
} // namespace sqlemu
