#include "storage/partial_folder_journal.h"
#include "storage/server_error.h"
#include "storage/storage_messages.h"
#include "storage/storage_operations.h"
#include "storage_test_support.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace sqlemu {
namespace {

using namespace test;
namespace msg = storage_messages;

class StorageOperationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        files = folder.path() / "files";
        std::filesystem::create_directory(files);
        catalogue = Catalogue::open(folder.path() / "MSSQLSERVER", 90);
        StorageServerInfo server;
        server.serverName = "HOST";
        server.oldUnknownDatabaseText = false;
        operations = std::make_unique<StorageOperations>(*catalogue, server);
    }

    DatabaseInfo attach(const std::string &name, const std::string &logicalData = {},
                        const std::string &logicalLog = {})
    {
        const auto pair = makeDatabase(files, name, logicalData, logicalLog);
        return operations->attachDatabase(name, {pair.dataPath.string(), pair.logPath.string()});
    }

    std::string path(const std::string &name) const { return (files / name).string(); }

    TempFolder folder;
    std::filesystem::path files;
    std::unique_ptr<Catalogue> catalogue;
    std::unique_ptr<StorageOperations> operations;
    OperationProgress quiet;
};

TEST_F(StorageOperationsTest, AttachAddsTheDatabaseWithItsFiles)
{
    const auto db = attach("Tarnel");
    EXPECT_EQ(db.id, 5);
    const auto stored = catalogue->find("tarnel");
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->files.size(), 2u);
    EXPECT_EQ(stored->files[0].logicalName, "Tarnel_Data");
    EXPECT_EQ(stored->files[0].physicalName, path("Tarnel.mdf"));
    EXPECT_EQ(stored->files[1].type, DatabaseFileType::Log);
    EXPECT_EQ(stored->files[1].sizePages, 128);
}

TEST_F(StorageOperationsTest, AttachTakesPathsWithBackslashes)
{
    std::filesystem::create_directory(files / "Data");
    makeDatabase(files / "Data", "Tarnel");
    operations->attachDatabase("Tarnel", {files.string() + "\\Data\\Tarnel.mdf", path("Data\\Tarnel_log.ldf")});
    EXPECT_EQ(catalogue->find("Tarnel")->files[0].physicalName, path("Data/Tarnel.mdf"));
}

TEST_F(StorageOperationsTest, AttachRefusesTakenNamesFilesInUseAndFilesThatDoNotBelongTogether)
{
    attach("Tarnel");
    const auto other = makeDatabase(files, "Other");
    EXPECT_EQ(
        serverErrorOf([&] {
            operations->attachDatabase("TARNEL", {other.dataPath, other.logPath});
        }),
        std::vector<std::string>{"1801/3/16: Database 'TARNEL' already exists. Choose a different database name."});
    EXPECT_EQ(serverErrorOf([&] {
                  operations->attachDatabase("Copy", {path("Tarnel.mdf"), path("Tarnel_log.ldf")});
              }),
              (std::vector<std::string>{
                  "5120/101/16: Unable to open the physical file \"" + path("Tarnel.mdf")
                      + "\". Operating system error 32: \"32(The process cannot access the file because it is being "
                        "used by another process.)\".",
                  "1802/7/16: CREATE DATABASE failed. Some file names listed could not be created. Check related "
                  "errors."}));
    EXPECT_EQ(serverErrorNumbers([&] {
                  operations->attachDatabase("Mixed", {other.dataPath, path("none.ldf")});
              }),
              (std::vector<int>{5120, 1802}));
    const auto third = makeDatabase(files, "Third");
    const auto lines = serverErrorOf([&] { operations->attachDatabase("Mixed", {other.dataPath, third.logPath}); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 10), "5173/1/16:");
    EXPECT_EQ(lines[1], "1813/2/16: Could not open new database 'Mixed'. CREATE DATABASE is aborted.");
    EXPECT_FALSE(catalogue->contains("Mixed"));
    EXPECT_FALSE(catalogue->contains("Copy"));
}

TEST_F(StorageOperationsTest, BackupReportsThePagesOfEachFileAndTheRate)
{
    attach("Tarnel", "Data_Data", "Data_log");
    std::vector<int> percents;
    OperationProgress progress;
    progress.onProgress = [&](int p) { percents.push_back(p); };
    const auto figures = operations->backupDatabase("tarnel", path("t.bak"), "My Backup", "sa", progress);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(figures.position, 1);
    EXPECT_EQ(figures.totalPages, 256);
    const auto messages = figures.completionMessages("BACKUP DATABASE");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, "Processed 128 pages for database 'Tarnel', file 'Data_Data' on file 1.");
    EXPECT_EQ(messages[1].text, "Processed 128 pages for database 'Tarnel', file 'Data_log' on file 1.");
    EXPECT_EQ(messages[0].number, 4035);
    EXPECT_EQ(messages[0].severity, 0);
    EXPECT_EQ(messages[2].number, 3014);
    EXPECT_EQ(messages[2].text.rfind("BACKUP DATABASE successfully processed 256 pages in ", 0), 0u)
        << messages[2].text;
    EXPECT_EQ(operations->backupDatabase("Tarnel", path("t.bak"), "My Backup", "sa", quiet).position, 2);

    EXPECT_EQ(serverErrorOf([&] { operations->backupDatabase("None", path("n.bak"), "x", "sa", quiet); }),
              std::vector<std::string>{
                  "911/11/16: Database 'None' does not exist. Make sure that the name is entered correctly."});
    EXPECT_FALSE(std::filesystem::exists(files / "n.bak"));
}

TEST_F(StorageOperationsTest, TheSuccessMessageShowsSecondsAndRateInThousandths)
{
    EXPECT_EQ(storage_messages::successfullyProcessed("RESTORE DATABASE", 1280, 2.0).text,
              "RESTORE DATABASE successfully processed 1280 pages in 2.000 seconds (5.000 MB/sec).");
    EXPECT_EQ(storage_messages::successfullyProcessed("BACKUP DATABASE", 171, 0.0625).text,
              "BACKUP DATABASE successfully processed 171 pages in 0.063 seconds (21.375 MB/sec).");
    EXPECT_EQ(storage_messages::percentProcessed(30).text, "30 percent processed.");
    EXPECT_EQ(storage_messages::backupSetValid(1).text, "The backup set on file 1 is valid.");
}

TEST_F(StorageOperationsTest, RestoreMakesANewDatabaseWithTheMovedFilesEqualToTheOriginals)
{
    attach("Tarnel", "Data_Data", "Data_log");
    operations->truncateLog("Tarnel");
    operations->backupDatabase("Tarnel", path("t.bak"), "My Backup", "sa", quiet);
    std::filesystem::create_directory(files / "Data");

    RestoreRequest request;
    request.databaseName = "Copy";
    request.mediaPath = path("t.bak");
    // The tool names the targets the Windows way.
    request.moves = {{"Data_Data", files.string() + "\\Data\\Data.mdf"}, {"DATA_LOG", path("Data\\Data_Log.ldf")}};
    const auto figures = operations->restoreDatabase(request, quiet);
    EXPECT_EQ(figures.totalPages, 256);
    EXPECT_EQ(figures.completionMessages("RESTORE DATABASE")[0].text,
              "Processed 128 pages for database 'Copy', file 'Data_Data' on file 1.");

    EXPECT_EQ(readBytes(files / "Data" / "Data.mdf"), readBytes(files / "Tarnel.mdf"));
    EXPECT_EQ(readBytes(files / "Data" / "Data_Log.ldf"), readBytes(files / "Tarnel_log.ldf"));
    const auto copy = catalogue->find("Copy");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->state, DatabaseState::Online);
    EXPECT_EQ(copy->files[0].physicalName, path("Data/Data.mdf"));
    EXPECT_EQ(copy->files[1].physicalName, path("Data/Data_Log.ldf"));
    EXPECT_EQ(copy->files[1].logicalName, "Data_log");
}

TEST_F(StorageOperationsTest, BackupAndRestoreDoNotStartWhenTheirFolderCannotBeWrittenDown)
{
    attach("Tarnel", "Data_Data", "Data_log");
    operations->backupDatabase("Tarnel", path("t.bak"), "My Backup", "sa", quiet);
    const auto mediaBefore = readBytes(files / "t.bak");
    const auto dataBefore = readBytes(files / "Tarnel.mdf");
    // The journal cannot be written (as on a full disk): a kill midway
    // would leave partial files where no start-up looks.
    const auto journal = folder.path() / "MSSQLSERVER" / PartialFolderJournal::kFileName;
    std::filesystem::remove(journal);
    std::filesystem::create_directory(journal);
    const auto elsewhere = files / "elsewhere";
    std::filesystem::create_directory(elsewhere);

    const auto backup = serverErrorOf(
        [&] { operations->backupDatabase("Tarnel", (elsewhere / "e.bak").string(), "My Backup", "sa", quiet); });
    ASSERT_EQ(backup.size(), 1u);
    EXPECT_EQ(backup[0].rfind("3201/1/16: Cannot open backup device '" + (elsewhere / "e.bak").string() + "'.", 0), 0u)
        << backup[0];

    RestoreRequest request;
    request.databaseName = "Copy";
    request.mediaPath = path("t.bak");
    request.moves = {{"Data_Data", (elsewhere / "c.mdf").string()}, {"Data_log", (elsewhere / "c.ldf").string()}};
    const auto restore = serverErrorOf([&] { operations->restoreDatabase(request, quiet); });
    ASSERT_EQ(restore.size(), 2u);
    EXPECT_EQ(restore[0].rfind("5123/", 0), 0u) << restore[0];
    EXPECT_EQ(restore[1].rfind("3119/", 0), 0u) << restore[1];

    // Nothing was started, nothing was lost.
    EXPECT_TRUE(folderEntries(elsewhere).empty());
    EXPECT_FALSE(catalogue->find("Copy"));
    EXPECT_EQ(catalogue->find("Tarnel")->state, DatabaseState::Online);
    EXPECT_EQ(readBytes(files / "t.bak"), mediaBefore);
    EXPECT_EQ(readBytes(files / "Tarnel.mdf"), dataBefore);

    // Once it can be written again, both go ahead.
    std::filesystem::remove(journal);
    operations->backupDatabase("Tarnel", (elsewhere / "e.bak").string(), "My Backup", "sa", quiet);
    operations->restoreDatabase(request, quiet);
    EXPECT_EQ(catalogue->find("Copy")->state, DatabaseState::Online);
}

TEST_F(StorageOperationsTest, BackupsAndRestoredFilesAreForTheirOwnerAndGroupOnly)
{
    // Whatever the umask lets through, others never read a database.
    const mode_t umaskBefore = ::umask(0);
    attach("Tarnel", "Data_Data", "Data_log");
    operations->backupDatabase("Tarnel", path("t.bak"), "My Backup", "sa", quiet);
    RestoreRequest request;
    request.databaseName = "Copy";
    request.mediaPath = path("t.bak");
    request.moves = {{"Data_Data", path("c.mdf")}, {"Data_log", path("c.ldf")}};
    operations->restoreDatabase(request, quiet);
    ::umask(umaskBefore);
    using std::filesystem::perms;
    for (const char *name : {"t.bak", "c.mdf", "c.ldf"})
        EXPECT_EQ(std::filesystem::status(files / name).permissions(),
                  perms::owner_read | perms::owner_write | perms::group_read)
            << name;
}

TEST_F(StorageOperationsTest, RestoreRefusesBeforeWritingAnything)
{
    attach("Tarnel", "Data_Data", "Data_log");
    attach("Other");
    operations->backupDatabase("Tarnel", path("t.bak"), "My Backup", "sa", quiet);
    const auto before = folderEntries(files);

    RestoreRequest request;
    request.databaseName = "Fresh";
    request.mediaPath = path("t.bak");
    request.moves = {{"Data_Data", path("F.mdf")}, {"Tarnel_log", path("F.ldf")}};
    EXPECT_EQ(serverErrorOf([&] { operations->restoreDatabase(request, quiet); }),
              std::vector<std::string>{"3234/2/16: Logical file 'Tarnel_log' is not part of database 'Tarnel'. Use "
                                       "RESTORE FILELISTONLY to list the logical file names."});

    request.moves = {{"Data_Data", path("F.mdf")}, {"Data_log", path("F.ldf")}};
    request.databaseName = "Other";
    EXPECT_EQ(serverErrorOf([&] { operations->restoreDatabase(request, quiet); }),
              std::vector<std::string>{"3154/4/16: The backup set holds a backup of a database other than the "
                                       "existing 'Other' database."});
    request.databaseName = "Tarnel";
    EXPECT_EQ(serverErrorNumbers([&] { operations->restoreDatabase(request, quiet); }), std::vector<int>{3159});

    request.databaseName = "Fresh";
    request.moves = {{"Data_Data", path("Other.mdf")}, {"Data_log", path("nowhere/F.ldf")}};
    EXPECT_EQ(serverErrorOf([&] { operations->restoreDatabase(request, quiet); }),
              (std::vector<std::string>{
                  "1834/1/16: The file '" + path("Other.mdf")
                      + "' cannot be overwritten.  It is being used by database 'Other'.",
                  "3156/4/16: File 'Data_Data' cannot be restored to '" + path("Other.mdf")
                      + "'. Use WITH MOVE to identify a valid location for the file.",
                  "5133/1/16: Directory lookup for the file \"" + path("nowhere/F.ldf")
                      + "\" failed with the operating system error 3(The system cannot find the path specified.).",
                  "3156/3/16: File 'Data_log' cannot be restored to '" + path("nowhere/F.ldf")
                      + "'. Use WITH MOVE to identify a valid location for the file.",
                  "3119/1/16: Problems were identified while planning for the RESTORE statement. Previous messages "
                  "provide details."}));

    // A file nobody uses is overwritten only WITH REPLACE.
    test::writeBytes(files / "stray.mdf", "stray");
    request.moves = {{"Data_Data", path("stray.mdf")}, {"Data_log", path("F.ldf")}};
    EXPECT_EQ(serverErrorNumbers([&] { operations->restoreDatabase(request, quiet); }), (std::vector<int>{3142, 3119}));

    request.mediaPath = path("none.bak");
    EXPECT_EQ(serverErrorNumbers([&] { operations->restoreDatabase(request, quiet); }), std::vector<int>{3201});

    auto expected = before;
    expected.push_back("stray.mdf");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folderEntries(files), expected);
    EXPECT_FALSE(catalogue->contains("Fresh"));
}

TEST_F(StorageOperationsTest, RestoreWithReplaceOverwritesTheDatabaseAndACancelLeavesItRestoring)
{
    attach("Tarnel", "Data_Data", "Data_log");
    operations->backupDatabase("Tarnel", path("t.bak"), "My Backup", "sa", quiet);
    const auto backedUpLog = readBytes(files / "Tarnel_log.ldf");
    operations->growLog("Tarnel", 2);
    const auto grownLog = readBytes(files / "Tarnel_log.ldf");
    ASSERT_NE(grownLog, backedUpLog);

    RestoreRequest request;
    request.databaseName = "Tarnel";
    request.mediaPath = path("t.bak");
    request.replace = true;

    int calls = 0;
    OperationProgress cancelling;
    cancelling.isCancelled = [&] { return ++calls > 1; };
    EXPECT_THROW(operations->restoreDatabase(request, cancelling), OperationCancelled);
    // Restoring, as a real server leaves it, over its old files still whole.
    EXPECT_EQ(readBytes(files / "Tarnel_log.ldf"), grownLog);
    EXPECT_EQ(catalogue->find("Tarnel")->state, DatabaseState::Restoring);
    EXPECT_EQ(folderEntries(files), (std::vector<std::string>{"Tarnel.mdf", "Tarnel_log.ldf", "t.bak"}));

    operations->restoreDatabase(request, quiet);
    EXPECT_EQ(readBytes(files / "Tarnel_log.ldf"), backedUpLog);
    const auto db = catalogue->find("Tarnel");
    EXPECT_EQ(db->state, DatabaseState::Online);
    EXPECT_EQ(db->files[1].sizePages, 128);

    // Moved elsewhere WITH REPLACE: the old files go with the old database.
    request.moves = {{"Data_Data", path("N.mdf")}, {"Data_log", path("N.ldf")}};
    operations->restoreDatabase(request, quiet);
    EXPECT_EQ(folderEntries(files), (std::vector<std::string>{"N.ldf", "N.mdf", "t.bak"}));
    EXPECT_EQ(catalogue->find("Tarnel")->files[0].physicalName, path("N.mdf"));
}

// What a restore that does not complete leaves of its target, an existing
// database (WITH REPLACE) or a new name: a cancel (ATTENTION) or a client
// gone while a progress report was sent leaves it restoring, as a real
// server does; a failure leaves it as it was. Whatever is left, a DROP
// and a later RESTORE ... WITH REPLACE work.
TEST_F(StorageOperationsTest, AnInterruptedRestoreLeavesItsTargetRestoringAndAFailedOneAsItWas)
{
    struct ClientGone {};
    const struct {
        const char *what;
        bool existing;
        std::function<void(OperationProgress &, int &)> interrupt;
        bool leftRestoring;
    } cases[] = {
        {"cancelled over a database", true,
         [](OperationProgress &p, int &calls) { p.isCancelled = [&calls] { return ++calls > 1; }; }, true},
        {"cancelled to a new name", false,
         [](OperationProgress &p, int &calls) { p.isCancelled = [&calls] { return ++calls > 1; }; }, true},
        {"abandoned to a new name", false,
         [](OperationProgress &p, int &) { p.onProgress = [](int) { throw ClientGone{}; }; }, true},
        {"abandoned over a database", true,
         [](OperationProgress &p, int &) { p.onProgress = [](int) { throw ClientGone{}; }; }, true},
        {"failed over a database", true,
         [](OperationProgress &p, int &) {
             p.onProgress = [](int) { throw ServerError(msg::createDatabaseFailed()); };
         },
         false},
        {"failed to a new name", false,
         [](OperationProgress &p, int &) {
             p.onProgress = [](int) { throw ServerError(msg::createDatabaseFailed()); };
         },
         false},
    };
    attach("Tarnel", "Data_Data", "Data_log");
    operations->backupDatabase("Tarnel", path("t.bak"), "", "sa", quiet);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = c.existing ? "Tarnel" : "Fresh";
        RestoreRequest request;
        request.databaseName = name;
        request.mediaPath = path("t.bak");
        request.replace = true;
        if (!c.existing)
            request.moves = {{"Data_Data", path("F.mdf")}, {"Data_log", path("F.ldf")}};
        const auto entriesBefore = folderEntries(files);
        const auto before = catalogue->find(name);
        int calls = 0;
        OperationProgress interrupted;
        c.interrupt(interrupted, calls);
        try {
            operations->restoreDatabase(request, interrupted);
            ADD_FAILURE() << "the restore completed";
        } catch (...) {}
        EXPECT_EQ(folderEntries(files), entriesBefore);
        EXPECT_FALSE(operations->isBusy(name));
        const auto after = catalogue->find(name);
        if (c.leftRestoring) {
            ASSERT_TRUE(after.has_value());
            EXPECT_EQ(after->state, DatabaseState::Restoring);
            // A new name names the files it was writing; a replaced one
            // keeps its own, whole.
            EXPECT_EQ(after->files.at(0).physicalName, c.existing ? path("Tarnel.mdf") : path("F.mdf"));
        } else if (c.existing) {
            ASSERT_TRUE(after.has_value());
            EXPECT_EQ(after->state, before->state);
        } else {
            EXPECT_FALSE(after.has_value());
        }
        if (!after)
            continue;
        operations->restoreDatabase(request, quiet);
        EXPECT_EQ(catalogue->find(name)->state, DatabaseState::Online);
        if (!c.existing) {
            operations->dropDatabase(name);
            EXPECT_EQ(folderEntries(files), entriesBefore);
        }
    }
    // A database left restoring can be dropped, its files with it.
    int calls = 0;
    OperationProgress cancelling;
    cancelling.isCancelled = [&] { return ++calls > 1; };
    RestoreRequest request;
    request.databaseName = "Tarnel";
    request.mediaPath = path("t.bak");
    request.replace = true;
    EXPECT_THROW(operations->restoreDatabase(request, cancelling), OperationCancelled);
    operations->dropDatabase("Tarnel");
    EXPECT_FALSE(catalogue->contains("Tarnel"));
    EXPECT_EQ(folderEntries(files), std::vector<std::string>{"t.bak"});
}

TEST_F(StorageOperationsTest, HeadersFileListAndVerifyReadTheMedium)
{
    attach("Tarnel", "Data_Data", "Data_log");
    operations->backupDatabase("Tarnel", path("t.bak"), "My Backup", "sa", quiet);
    operations->backupDatabase("Tarnel", path("t.bak"), "Second", "sa", quiet);
    const auto headers = operations->backupHeaders(path("t.bak"));
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[1].name, "Second");
    EXPECT_EQ(headers[1].position, 2);
    EXPECT_EQ(headers[0].serverName, "HOST");
    const auto list = operations->backupFileList(path("t.bak"));
    ASSERT_EQ(list.files.size(), 2u);
    EXPECT_EQ(list.files[0].logicalName, "Data_Data");
    operations->verifyBackup(path("t.bak"), 1, quiet);
}

TEST_F(StorageOperationsTest, DropDeletesTheFilesAndRefusesMissingAndSystemDatabases)
{
    attach("Tarnel");
    operations->dropDatabase("TARNEL");
    EXPECT_FALSE(catalogue->contains("Tarnel"));
    EXPECT_TRUE(folderEntries(files).empty());
    EXPECT_EQ(serverErrorOf([&] { operations->dropDatabase("Tarnel"); }),
              std::vector<std::string>{"3701/1/11: Cannot drop the database 'Tarnel', because it does not exist or you "
                                       "do not have permission."});
    EXPECT_EQ(
        serverErrorOf([&] { operations->dropDatabase("master"); }),
        std::vector<std::string>{"3708/1/16: Cannot drop the database 'master' because it is a system database."});
}

TEST_F(StorageOperationsTest, ShrinkFileByNameOrIdUpdatesTheCatalogue)
{
    const auto db = attach("Tarnel");
    operations->growLog("Tarnel", 5);
    EXPECT_GT(catalogue->find("Tarnel")->files[1].sizePages, 128);
    operations->truncateLog("Tarnel");
    const auto figures = operations->shrinkFile("Tarnel", "tarnel_LOG", 1);
    EXPECT_EQ(figures.dbId, db.id);
    EXPECT_EQ(figures.fileId, 2);
    EXPECT_EQ(figures.currentSize, 128);
    EXPECT_EQ(catalogue->find("Tarnel")->files[1].sizePages, 128);
    EXPECT_EQ(std::filesystem::file_size(files / "Tarnel_log.ldf"), 128u * 8192);
    EXPECT_EQ(operations->shrinkFile("Tarnel", "2", 1).fileId, 2);
    EXPECT_EQ(serverErrorOf([&] { operations->shrinkFile("Tarnel", "nolog", 1); }),
              std::vector<std::string>{"8985/1/16: Could not locate file 'nolog' for database 'Tarnel' in "
                                       "sys.database_files. The file either does not exist, or was dropped."});
}

TEST_F(StorageOperationsTest, AtStartDatabasesWhoseFilesAreGoneOrDamagedAreSuspect)
{
    attach("Whole");
    attach("Gone");
    attach("Damaged");
    std::filesystem::remove(files / "Gone_log.ldf");
    test::flipByte(files / "Damaged.mdf", 30);
    EXPECT_EQ(operations->checkDatabasesOnStart(), (std::vector<std::string>{"Gone", "Damaged"}));
    EXPECT_EQ(catalogue->find("Whole")->state, DatabaseState::Online);
    EXPECT_EQ(catalogue->find("Gone")->state, DatabaseState::Suspect);
    EXPECT_EQ(catalogue->find("master")->state, DatabaseState::Online);
    // A suspect database can still be dropped or restored over.
    operations->dropDatabase("Gone");
    EXPECT_FALSE(catalogue->contains("Gone"));
}

} // namespace
} // namespace sqlemu
