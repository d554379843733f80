#include "storage/database_file.h"
#include "storage/make_database_command.h"
#include "storage/server_error.h"
#include "storage_test_support.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sqlemu {
namespace {

using test::folderEntries;
using test::makeDatabase;
using test::serverErrorNumbers;
using test::serverErrorOf;
using test::TempFolder;

TEST(DatabaseFilesTest, NewPairHasItsSizesDefaultLogicalNamesAndOneIdentity)
{
    TempFolder folder;
    NewDatabaseFiles request;
    request.name = "Tarnel";
    request.dataPath = folder.path() / "Tarnel.mdf";
    request.logPath = folder.path() / "Tarnel_log.ldf";
    request.dataSizeMegabytes = 4;
    request.logSizeMegabytes = 2;
    const auto pair = createDatabaseFiles(request);

    EXPECT_EQ(std::filesystem::file_size(request.dataPath), 4u * 1024 * 1024);
    EXPECT_EQ(std::filesystem::file_size(request.logPath), 2u * 1024 * 1024);
    const auto data = readDatabaseFileHeader(request.dataPath);
    const auto log = readDatabaseFileHeader(request.logPath);
    EXPECT_EQ(data, pair.data);
    EXPECT_EQ(log, pair.log);
    EXPECT_EQ(data.logicalName, "Tarnel_Data");
    EXPECT_EQ(log.logicalName, "Tarnel_log");
    EXPECT_EQ(data.databaseName, "Tarnel");
    EXPECT_EQ(data.type, DatabaseFileType::Data);
    EXPECT_EQ(log.type, DatabaseFileType::Log);
    EXPECT_EQ(data.fileId, 1);
    EXPECT_EQ(log.fileId, 2);
    EXPECT_EQ(data.sizePages, 512);
    EXPECT_EQ(log.sizePages, 256);
    EXPECT_EQ(data.familyId, log.familyId);
    // Nothing but the two files: the hidden names they were written under are gone.
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"Tarnel.mdf", "Tarnel_log.ldf"}));

    const auto files = pair.catalogueFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].physicalName, request.dataPath.string());
    EXPECT_EQ(files[1].logicalName, "Tarnel_log");
    EXPECT_EQ(files[1].sizePages, 256);
}

TEST(DatabaseFilesTest, LogicalNamesCanBeChosenAndEachPairHasItsOwnIdentity)
{
    TempFolder folder;
    const auto a = makeDatabase(folder.path(), "A", "Data_Data", "Data_log");
    const auto b = makeDatabase(folder.path(), "B");
    EXPECT_EQ(a.data.logicalName, "Data_Data");
    EXPECT_EQ(a.log.logicalName, "Data_log");
    EXPECT_NE(a.data.familyId, b.data.familyId);
}

TEST(DatabaseFilesTest, CreationRefusesExistingFilesAndMissingFoldersAndLeavesNothing)
{
    TempFolder folder;
    makeDatabase(folder.path(), "A");
    const auto before = test::readBytes(folder.path() / "A.mdf");
    EXPECT_EQ(serverErrorOf([&] { makeDatabase(folder.path(), "A"); }),
              (std::vector<std::string>{"5170/1/16: Cannot create file '" + (folder.path() / "A.mdf").string()
                                        + "' because it already exists. Change the file path or the file name, and "
                                          "retry the operation."}));
    EXPECT_EQ(test::readBytes(folder.path() / "A.mdf"), before);

    NewDatabaseFiles request;
    request.name = "B";
    request.dataPath = folder.path() / "B.mdf";
    request.logPath = folder.path() / "missing" / "B_log.ldf";
    EXPECT_EQ(serverErrorOf([&] { createDatabaseFiles(request); }),
              (std::vector<std::string>{"5123/1/16: CREATE FILE encountered operating system error 3(The system "
                                        "cannot find the path specified.) while attempting to open or create the "
                                        "physical file '"
                                        + request.logPath.string() + "'."}));
    EXPECT_EQ(folderEntries(folder.path()), (std::vector<std::string>{"A.mdf", "A_log.ldf"}));
}

TEST(DatabaseFilesTest, UnreadableFilesAreReportedWithTheOperatingSystemError)
{
    TempFolder folder;
    const auto missing = folder.path() / "none.mdf";
    EXPECT_EQ(serverErrorOf([&] { readDatabaseFileHeader(missing); }),
              (std::vector<std::string>{"5120/101/16: Unable to open the physical file \"" + missing.string()
                                        + "\". Operating system error 2: \"2(The system cannot find the file "
                                          "specified.)\"."}));
    const auto noFolder = folder.path() / "nofolder" / "x.mdf";
    EXPECT_EQ(serverErrorOf([&] { readDatabaseFileHeader(noFolder); }),
              (std::vector<std::string>{"5120/101/16: Unable to open the physical file \"" + noFolder.string()
                                        + "\". Operating system error 3: \"3(The system cannot find the path "
                                          "specified.)\"."}));
    if (::geteuid() != 0) {
        makeDatabase(folder.path(), "A");
        std::filesystem::permissions(folder.path() / "A.mdf", std::filesystem::perms::none);
        const auto lines = serverErrorOf([&] { readDatabaseFileHeader(folder.path() / "A.mdf"); });
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("Operating system error 5: \"5(Access is denied.)\""), std::string::npos) << lines[0];
    }
}

TEST(DatabaseFilesTest, ForeignDamagedShortAndNewerFilesAreEachTheirOwnError)
{
    TempFolder folder;
    const auto pair = makeDatabase(folder.path(), "A");
    const auto expect5172 = [&](const std::filesystem::path &path, const std::string &property) {
        EXPECT_EQ(serverErrorOf([&] { readDatabaseFileHeader(path); }),
                  (std::vector<std::string>{"5172/15/16: The header for file '" + path.string()
                                            + "' is not a valid database file header. The " + property
                                            + " property is incorrect."}));
    };

    const auto text = folder.path() / "notes.mdf";
    test::writeBytes(text, std::string(20000, 'x'));
    expect5172(text, "PageAudit");
    const auto empty = folder.path() / "empty.mdf";
    test::writeBytes(empty, "");
    expect5172(empty, "PageAudit");

    const auto damaged = folder.path() / "damaged.mdf";
    std::filesystem::copy_file(pair.dataPath, damaged);
    test::flipByte(damaged, 80); // inside the database name
    expect5172(damaged, "CHECKSUM");

    const auto shortened = folder.path() / "short.mdf";
    std::filesystem::copy_file(pair.dataPath, shortened);
    std::filesystem::resize_file(shortened, 100 * 8192);
    expect5172(shortened, "FILE SIZE");

    auto newer = pair.data;
    newer.formatVersion = kDatabaseFileFormatVersion + 1;
    const auto newerPath = folder.path() / "newer.mdf";
    auto bytes = encodeDatabaseFileHeader(newer);
    bytes.resize(static_cast<std::size_t>(newer.sizePages * kPageSize), 0);
    test::writeBytes(newerPath, std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(serverErrorNumbers([&] { readDatabaseFileHeader(newerPath); }), std::vector<int>{948});
}

TEST(DatabaseFilesTest, APairMustBeOneDataAndOneLogFileOfTheSameDatabase)
{
    TempFolder folder;
    const auto a = makeDatabase(folder.path(), "A");
    const auto b = makeDatabase(folder.path(), "B");

    // Any order.
    const auto pair = readDatabaseFilePair({a.logPath, a.dataPath});
    EXPECT_EQ(pair.dataPath, a.dataPath);
    EXPECT_EQ(pair.logPath, a.logPath);
    EXPECT_TRUE(isWholeDatabaseFilePair(a.dataPath, a.logPath));

    const std::string mismatch
        = "5173/1/16: One or more files do not match the primary file of the database. If you are attempting to "
          "attach a database, retry the operation with the correct files.  If this is an existing database, the file "
          "may be corrupted and should be restored from a backup.";
    EXPECT_EQ(serverErrorOf([&] {
                  readDatabaseFilePair({a.dataPath, b.logPath});
              }),
              std::vector<std::string>{mismatch});
    EXPECT_EQ(serverErrorOf([&] {
                  readDatabaseFilePair({a.dataPath, b.dataPath});
              }),
              std::vector<std::string>{mismatch});
    EXPECT_EQ(serverErrorOf([&] { readDatabaseFilePair({a.dataPath}); }), std::vector<std::string>{mismatch});
    EXPECT_FALSE(isWholeDatabaseFilePair(a.dataPath, b.logPath));
    EXPECT_FALSE(isWholeDatabaseFilePair(a.logPath, a.dataPath));
}

TEST(DatabaseFilesTest, TheLogGrowsWithUseAndShrinksTowardTheTargetButNotBelowWhatIsInUse)
{
    TempFolder folder;
    const auto pair = makeDatabase(folder.path(), "A");
    EXPECT_EQ(pair.log.sizePages, 128);
    EXPECT_EQ(pair.log.usedPages, kActiveLogPagesAfterTruncate);

    auto grown = growLogFile(pair.logPath, 1000);
    EXPECT_EQ(grown.usedPages, 1008);
    EXPECT_GE(grown.sizePages, 1008);
    EXPECT_EQ(std::filesystem::file_size(pair.logPath), static_cast<std::uintmax_t>(grown.sizePages * kPageSize));

    // Everything still in use: the shrink cannot go below it.
    auto figures = shrinkDatabaseFile(pair.logPath, 1);
    EXPECT_EQ(figures.fileId, 2);
    EXPECT_EQ(figures.currentSize, 1008);
    EXPECT_EQ(figures.usedPages, 1008);
    EXPECT_EQ(figures.minimumSize, 128);
    EXPECT_EQ(std::filesystem::file_size(pair.logPath), 1008u * 8192);

    truncateLogFile(pair.logPath);
    figures = shrinkDatabaseFile(pair.logPath, 1);
    EXPECT_EQ(figures.currentSize, 128);
    EXPECT_EQ(figures.usedPages, kActiveLogPagesAfterTruncate);
    EXPECT_EQ(figures.estimatedPages, kActiveLogPagesAfterTruncate);
    EXPECT_EQ(std::filesystem::file_size(pair.logPath), 128u * 8192);
    EXPECT_TRUE(isWholeDatabaseFilePair(pair.dataPath, pair.logPath));

    // Target 0 goes down to the pages in use.
    figures = shrinkDatabaseFile(pair.logPath, 0);
    EXPECT_EQ(figures.currentSize, kActiveLogPagesAfterTruncate);
    EXPECT_EQ(readDatabaseFileHeader(pair.logPath).sizePages, kActiveLogPagesAfterTruncate);
}

TEST(DatabaseFilesTest, ATailLeftByAnInterruptedResizeIsToleratedAndCutAtTheNextShrink)
{
    TempFolder folder;
    const auto pair = makeDatabase(folder.path(), "A");
    std::filesystem::resize_file(pair.logPath, 300 * 8192); // as a kill between header and truncate leaves it
    EXPECT_EQ(readDatabaseFileHeader(pair.logPath).sizePages, 128);
    EXPECT_TRUE(isWholeDatabaseFilePair(pair.dataPath, pair.logPath));
    shrinkDatabaseFile(pair.logPath, 1);
    EXPECT_EQ(std::filesystem::file_size(pair.logPath), 128u * 8192);
}

TEST(MakeDatabaseCommandTest, ArgumentsBecomeANewPairAndMistakesAreNamed)
{
    EXPECT_FALSE(parseMakeDatabaseArguments({"--data-dir", "x"}));
    EXPECT_FALSE(parseMakeDatabaseArguments({}));

    const auto request
        = parseMakeDatabaseArguments({"--make-database", "Data", "--data", "D.mdf", "--log", "D.ldf", "--size", "5",
                                      "--log-size", "2", "--logical-data", "Data_Data", "--logical-log", "Data_log"});
    ASSERT_TRUE(request);
    EXPECT_EQ(request->name, "Data");
    EXPECT_EQ(request->dataPath, "D.mdf");
    EXPECT_EQ(request->logPath, "D.ldf");
    EXPECT_EQ(request->dataSizeMegabytes, 5);
    EXPECT_EQ(request->logSizeMegabytes, 2);
    EXPECT_EQ(request->logicalDataName, "Data_Data");
    EXPECT_EQ(request->logicalLogName, "Data_log");

    const std::vector<std::vector<std::string>> wrong{
        {"--make-database"},
        {"--make-database", "X", "--data", "x.mdf"},
        {"--make-database", "X", "--data", "x.mdf", "--log", "x.ldf", "--size", "0"},
        {"--make-database", "X", "--data", "x.mdf", "--log", "x.ldf", "--size", "3MB"},
        {"--make-database", "X", "--data", "x.mdf", "--log", "x.ldf", "--colour", "red"},
    };
    for (const auto &args : wrong)
        EXPECT_THROW(parseMakeDatabaseArguments(args), MakeDatabaseUsageError) << args.back();

    TempFolder folder;
    NewDatabaseFiles made;
    made.name = "X";
    made.dataPath = folder.path() / "X.mdf";
    made.logPath = folder.path() / "X.ldf";
    std::ostringstream err;
    EXPECT_EQ(runMakeDatabase(made, err), 0);
    EXPECT_TRUE(isWholeDatabaseFilePair(made.dataPath, made.logPath));
    EXPECT_EQ(runMakeDatabase(made, err), 1);
    EXPECT_EQ(err.str().rfind("sqlemu: Msg 5170, Level 16, State 1: Cannot create file '", 0), 0u) << err.str();
}

} // namespace
} // namespace sqlemu
