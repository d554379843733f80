// The interpreter's statements on whole databases over real files in a
// temporary folder: what they report, in which order, and what they refuse.

#include "sql_engine_fixture.h"
#include "storage/database_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace sqlemu {
namespace {

using test::EngineTest;
using test::RecordingSink;

class DatabaseStatementsTest : public EngineTest {
protected:
    // Starts the engine and attaches a pair with the logical names the
    // tool's restore expects.
    void startWithDatabase(const std::string &version = "9.0", std::int64_t megabytes = 3)
    {
        config.testStatements = true;
        start(version);
        NewDatabaseFiles files;
        files.name = "Tarnel";
        files.dataPath = folder.path() / "Tarnel.mdf";
        files.logPath = folder.path() / "Tarnel_log.ldf";
        files.dataSizeMegabytes = megabytes;
        files.logicalDataName = "Data_Data";
        files.logicalLogName = "Data_log";
        createDatabaseFiles(files);
        auto sink = run("CREATE DATABASE Tarnel ON (FILENAME = N'" + files.dataPath.string() + "'), (FILENAME = N'"
                        + files.logPath.string() + "') FOR ATTACH");
        ASSERT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
    }

    std::string media(const std::string &name = "Tarnel.Bak") const { return (folder.path() / name).string(); }

    static std::vector<int> numbers(const RecordingSink &sink)
    {
        std::vector<int> out;
        for (const auto &m : sink.messages)
            out.push_back(m.number);
        return out;
    }

    SessionState otherSession(int spid, const std::string &database)
    {
        SessionState other;
        other.spid = spid;
        other.loginName = "sa";
        other.role = ServerRole::SysAdmin;
        other.currentDatabase = database;
        engine->sessionOpened(other);
        return other;
    }
};

// Asks to stop as soon as the first progress report has gone out.
class CancelAtFirstFlush : public RecordingSink {
public:
    void flush() override
    {
        RecordingSink::flush();
        cancel = true;
    }
};

TEST_F(DatabaseStatementsTest, BackupProgressFollowsStatsAndEachStepIsFlushed)
{
    startWithDatabase();
    auto tens = run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH NOINIT, STATS = 10");
    ASSERT_EQ(tens.firstError(), nullptr);
    std::vector<int> expected(10, 3211);
    expected.insert(expected.end(), {4035, 4035, 3014});
    EXPECT_EQ(numbers(tens), expected);
    EXPECT_EQ(tens.flushes, 10);
    for (std::size_t i = 0; i < tens.events.size(); ++i)
        if (tens.events[i].kind == RecordingSink::Event::Kind::Message && tens.events[i].message.number == 3211) {
            ASSERT_LT(i + 1, tens.events.size());
            EXPECT_EQ(tens.events[i + 1].kind, RecordingSink::Event::Kind::Flush);
        }
    for (const auto &m : tens.messages)
        EXPECT_EQ(m.severity, 0);
    EXPECT_EQ(tens.messages.at(11).text, "Processed 128 pages for database 'Tarnel', file 'Data_log' on file 1.");

    auto quarters = run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH STATS = 25");
    EXPECT_EQ(quarters.messages.at(0).text, "25 percent processed.");
    EXPECT_EQ(quarters.messages.at(3).text, "100 percent processed.");
    EXPECT_EQ(quarters.messages.at(4).text, "Processed 384 pages for database 'Tarnel', file 'Data_Data' on file 2.");

    auto quiet = run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'");
    EXPECT_EQ(numbers(quiet), (std::vector<int>{4035, 4035, 3014}));
    EXPECT_EQ(quiet.flushes, 0);
}

TEST_F(DatabaseStatementsTest, ACancelledBackupOrRestoreLeavesNothingAndEndsTheBatch)
{
    startWithDatabase();
    CancelAtFirstFlush backup;
    engine->executeBatch(session, "BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH STATS = 10 select 1",
                         backup);
    EXPECT_TRUE(backup.dones.empty());
    EXPECT_TRUE(backup.resultSets.empty());
    EXPECT_FALSE(std::filesystem::exists(media()));

    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    CancelAtFirstFlush restore;
    engine->executeBatch(session,
                         "RESTORE DATABASE Copy FROM DISK = N'" + media() + "' WITH MOVE 'Data_Data' TO '"
                             + (folder.path() / "c.mdf").string() + "', MOVE 'Data_log' TO '"
                             + (folder.path() / "c.ldf").string() + "'",
                         restore);
    EXPECT_TRUE(restore.dones.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "c.mdf"));
    EXPECT_EQ(run("select name from sysdatabases where name = 'Copy'").resultSets.at(0).rows.size(), 0u);
}

std::string bytesOf(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(DatabaseStatementsTest, OnlySysadminAndDbcreatorTouchDatabasesAndTheirFiles)
{
    startWithDatabase();
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    // A file of someone else's that a RESTORE ... MOVE could overwrite.
    const auto victim = folder.path() / "victim.txt";
    std::ofstream(victim) << "not a database";
    const auto data = folder.path() / "Tarnel.mdf";
    const auto log = folder.path() / "Tarnel_log.ldf";
    const std::string before[] = {bytesOf(data), bytesOf(log), bytesOf(media()), bytesOf(victim)};
    const SessionState inTarnel = otherSession(60, "Tarnel");

    session.loginName = "bob";
    session.role = ServerRole::Public;
    const std::string elsewhere = (folder.path() / "elsewhere.bak").string();
    const struct {
        std::string batch;
        std::vector<int> numbers;
        std::string text;
    } refusals[] = {
        {"BACKUP DATABASE Tarnel TO DISK = N'" + elsewhere + "'",
         {262, 3013},
         "BACKUP DATABASE permission denied in database 'Tarnel'."},
        {"RESTORE DATABASE Tarnel FROM DISK = N'" + media() + "' WITH MOVE 'Data_Data' TO N'" + victim.string()
             + "', MOVE 'Data_log' TO N'" + (folder.path() / "v.ldf").string() + "', REPLACE",
         {3110, 3013},
         "User does not have permission to RESTORE database 'Tarnel'."},
        {"RESTORE HEADERONLY FROM DISK = N'" + media() + "'",
         {262, 3013},
         "CREATE DATABASE permission denied in database 'master'."},
        {"RESTORE FILELISTONLY FROM DISK = N'" + media() + "'",
         {262, 3013},
         "CREATE DATABASE permission denied in database 'master'."},
        {"RESTORE VERIFYONLY FROM DISK = N'" + media() + "'",
         {262, 3013},
         "CREATE DATABASE permission denied in database 'master'."},
        {"CREATE DATABASE Other ON (FILENAME = N'" + data.string() + "'), (FILENAME = N'" + log.string()
             + "') FOR ATTACH",
         {262},
         "CREATE DATABASE permission denied in database 'master'."},
        {"ALTER DATABASE Tarnel SET SINGLE_USER WITH ROLLBACK IMMEDIATE",
         {5011, 5069},
         "User does not have permission to alter database 'Tarnel', the database does not exist, or the database is "
         "not in a state that allows access checks."},
        {"DROP DATABASE Tarnel",
         {3701},
         "Cannot drop the database 'Tarnel', because it does not exist or you do not have permission."},
    };
    for (const auto &refusal : refusals) {
        const auto sink = run(refusal.batch);
        EXPECT_EQ(numbers(sink), refusal.numbers) << refusal.batch;
        ASSERT_NE(sink.firstError(), nullptr) << refusal.batch;
        EXPECT_EQ(sink.firstError()->text, refusal.text);
        EXPECT_EQ(sink.firstError()->severity, 14) << refusal.batch;
    }
    EXPECT_EQ(numbers(run("BACKUP DATABASE Tarnel TO DISK = N'" + elsewhere + "'")).back(), 3013);

    // Everything is where it was: the database listed and online, its
    // files, the medium and the other file byte for byte, the other
    // session not ended.
    auto listed = run("select status from master.dbo.sysdatabases where name = 'Tarnel'");
    ASSERT_EQ(listed.resultSets.at(0).rows.size(), 1u);
    EXPECT_EQ(std::get<std::int64_t>(listed.resultSets[0].rows[0][0]), 0x10000); // online, multi-user
    const std::string after[] = {bytesOf(data), bytesOf(log), bytesOf(media()), bytesOf(victim)};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(after[i], before[i]) << i;
    EXPECT_FALSE(std::filesystem::exists(elsewhere));
    EXPECT_FALSE(engine->sessionKilled(inTarnel));
    // Looking is still allowed.
    EXPECT_EQ(run("select name from master.dbo.sysdatabases").firstError(), nullptr);

    // dbcreator may do what the tool does.
    session.role = ServerRole::DbCreator;
    EXPECT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + elsewhere + "'").firstError(), nullptr);
    engine->sessionClosed(inTarnel);
    EXPECT_EQ(run("DROP DATABASE Tarnel").firstError(), nullptr);
}

TEST_F(DatabaseStatementsTest, RestoreReportsProgressEvenWithoutStatsAndNeedsExclusiveAccess)
{
    startWithDatabase();
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    const std::string restore = "RESTORE DATABASE Copy FROM DISK = N'" + media() + "' WITH MOVE 'Data_Data' TO '"
        + (folder.path() / "c.mdf").string() + "', MOVE 'Data_log' TO '" + (folder.path() / "c.ldf").string()
        + "', REPLACE";
    auto first = run(restore);
    ASSERT_EQ(first.firstError(), nullptr) << first.messages.at(0).text;
    EXPECT_EQ(first.messages.at(0).text, "10 percent processed.");
    EXPECT_EQ(first.messages.back().text.rfind("RESTORE DATABASE successfully processed 512 pages in ", 0), 0u);

    const SessionState user = otherSession(60, "Copy");
    auto busy = run(restore);
    EXPECT_EQ(numbers(busy), (std::vector<int>{3101, 3013}));
    engine->sessionClosed(user);
    EXPECT_EQ(run(restore).firstError(), nullptr);
}

TEST_F(DatabaseStatementsTest, SingleUserEndsOnlyTheSessionsInThatDatabase)
{
    startWithDatabase();
    const SessionState inTarnel = otherSession(60, "Tarnel");
    const SessionState inMaster = otherSession(61, "master");

    auto waiting = run("ALTER DATABASE Tarnel SET SINGLE_USER");
    EXPECT_EQ(numbers(waiting), (std::vector<int>{5070, 5069}));
    EXPECT_FALSE(engine->sessionKilled(inTarnel));

    auto immediate = run("ALTER DATABASE Tarnel SET SINGLE_USER WITH ROLLBACK IMMEDIATE");
    ASSERT_EQ(numbers(immediate), (std::vector<int>{5060, 5060}));
    EXPECT_EQ(immediate.messages[1].text,
              "Nonqualified transactions are being rolled back. Estimated rollback completion: 100%.");
    EXPECT_TRUE(engine->sessionKilled(inTarnel));
    EXPECT_FALSE(engine->sessionKilled(inMaster));
    auto status = run("select status from sysdatabases where name = 'Tarnel'");
    EXPECT_NE(test::integer(status.resultSets.at(0).rows.at(0)[0]) & 0x1000, 0);

    // Nobody else is left: the same statement has nothing to roll back.
    EXPECT_TRUE(run("ALTER DATABASE Tarnel SET SINGLE_USER WITH ROLLBACK IMMEDIATE").messages.empty());
    // The one user it may have is taken.
    run("USE Tarnel");
    SessionState late = otherSession(62, "master");
    RecordingSink refused;
    engine->executeBatch(late, "USE Tarnel", refused);
    EXPECT_EQ(numbers(refused), (std::vector<int>{924}));
    EXPECT_EQ(late.currentDatabase, "master");
    run("USE master");
    run("ALTER DATABASE Tarnel SET MULTI_USER");
    auto multi = run("select status from sysdatabases where name = 'Tarnel'");
    EXPECT_EQ(test::integer(multi.resultSets.at(0).rows.at(0)[0]) & 0x1000, 0);

    auto missing = run("ALTER DATABASE Nowhere SET SINGLE_USER WITH ROLLBACK IMMEDIATE");
    EXPECT_EQ(numbers(missing), (std::vector<int>{5011, 5069}));
}

TEST_F(DatabaseStatementsTest, RestoreListingsHaveTheColumnsOfTheVersionPlayed)
{
    for (const auto &[version, headerColumns, fileColumns] :
         {std::tuple{"9.0", 51u, 20u}, std::tuple{"10.50", 52u, 21u}, std::tuple{"16.0", 56u, 22u}}) {
        SCOPED_TRACE(version);
        startWithDatabase(version);
        ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media(std::string(version) + ".Bak") + "'").firstError(),
                  nullptr);
        auto headers = run("RESTORE HEADERONLY FROM DISK = N'" + media(std::string(version) + ".Bak") + "'");
        ASSERT_EQ(headers.resultSets.size(), 1u);
        EXPECT_EQ(headers.resultSets[0].columns.size(), headerColumns);
        EXPECT_EQ(headers.resultSets[0].columns[0].name, "BackupName");
        EXPECT_EQ(headers.resultSets[0].columns[12].type, SqlType::Decimal);
        EXPECT_EQ(test::integer(headers.resultSets[0].rows.at(0)[6]), 102); // DeviceType: a disk file
        auto files = run("RESTORE FILELISTONLY FROM DISK = N'" + media(std::string(version) + ".Bak") + "'");
        ASSERT_EQ(files.resultSets.size(), 1u);
        EXPECT_EQ(files.resultSets[0].columns.size(), fileColumns);
        EXPECT_EQ(test::text(files.resultSets[0].rows.at(1)[2]), "L");
        run("DROP DATABASE Tarnel");
    }
    auto missing = run("RESTORE FILELISTONLY FROM DISK = N'" + media("none.Bak") + "'");
    EXPECT_EQ(numbers(missing), (std::vector<int>{3201, 3013}));
    EXPECT_EQ(missing.messages[1].text, "RESTORE FILELIST is terminating abnormally.");
    auto unverified = run("RESTORE VERIFYONLY FROM DISK = N'" + media("none.Bak") + "'");
    EXPECT_EQ(unverified.messages.at(1).text, "VERIFY DATABASE is terminating abnormally.");
}

TEST_F(DatabaseStatementsTest, WhatTheStorageCannotHonourIsRefusedNotIgnored)
{
    startWithDatabase();
    for (const std::string &statement :
         {"BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH INIT",
          "BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH FORMAT", std::string("DBCC CHECKDB"),
          std::string("CREATE DATABASE Fresh"), "RESTORE LOG Tarnel FROM DISK = N'" + media() + "'"}) {
        SCOPED_TRACE(statement);
        auto sink = run(statement);
        ASSERT_NE(sink.firstError(), nullptr);
        EXPECT_EQ(sink.firstError()->number, 40517);
    }
    EXPECT_FALSE(std::filesystem::exists(media()));

    session.currentDatabase = "Tarnel";
    auto unknownFile = run("DBCC SHRINKFILE(NoSuchFile, 1)");
    EXPECT_EQ(numbers(unknownFile), (std::vector<int>{8985}));
    auto quiet = run("DBCC SHRINKFILE(2, 1) WITH NO_INFOMSGS");
    EXPECT_TRUE(quiet.messages.empty());
    ASSERT_EQ(quiet.resultSets.size(), 1u);
    EXPECT_EQ(test::integer(quiet.resultSets[0].rows.at(0)[1]), 2);
}

} // namespace
} // namespace sqlemu
