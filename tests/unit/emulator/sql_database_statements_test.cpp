// The interpreter's statements on whole databases over real files in a
// temporary folder: what they report, in which order, and what they refuse.

#include "sql_engine_fixture.h"
#include "storage/database_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

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
        engine->sessionOpened(other, {});
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

TEST_F(DatabaseStatementsTest, ACancelledBackupLeavesNothingAndACancelledRestoreLeavesItsTargetRestoring)
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
                             + (folder.path() / "c.ldf").string() + "', STATS = 10",
                         restore);
    EXPECT_TRUE(restore.dones.empty());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "c.mdf"));
    // Listed and restoring, as a real server leaves it: refused, droppable.
    auto state = run("select state_desc from sys.databases where name = 'Copy'");
    ASSERT_EQ(state.resultSets.at(0).rows.size(), 1u);
    EXPECT_EQ(std::get<std::string>(state.resultSets[0].rows[0][0]), "RESTORING");
    EXPECT_EQ(numbers(run("USE Copy")), (std::vector<int>{927}));
    EXPECT_EQ(run("DROP DATABASE Copy").firstError(), nullptr);
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

TEST_F(DatabaseStatementsTest, RestoreReportsProgressOnlyWithStatsAndNeedsExclusiveAccess)
{
    startWithDatabase();
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    const std::string restore = "RESTORE DATABASE Copy FROM DISK = N'" + media() + "' WITH MOVE 'Data_Data' TO '"
        + (folder.path() / "c.mdf").string() + "', MOVE 'Data_log' TO '" + (folder.path() / "c.ldf").string()
        + "', REPLACE";
    auto first = run(restore);
    ASSERT_EQ(first.firstError(), nullptr) << first.messages.at(0).text;
    EXPECT_EQ(numbers(first), (std::vector<int>{4035, 4035, 3014}));
    EXPECT_EQ(first.flushes, 0);
    EXPECT_EQ(first.messages.back().text.rfind("RESTORE DATABASE successfully processed 512 pages in ", 0), 0u);
    auto quarters = run(restore + ", STATS = 25");
    ASSERT_EQ(quarters.firstError(), nullptr) << quarters.messages.at(0).text;
    EXPECT_EQ(numbers(quarters), (std::vector<int>{3211, 3211, 3211, 3211, 4035, 4035, 3014}));
    EXPECT_EQ(quarters.messages.at(0).text, "25 percent processed.");

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
        EXPECT_EQ(headers.resultSets[0].columns[4].type, SqlType::TinyInt); // Compressed
        EXPECT_EQ(test::integer(headers.resultSets[0].rows.at(0)[6]), 2); // DeviceType: a file named here
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

// msdb's history and the database states, as a client that lost a
// statement's answer finds them.
class HistoryTest : public DatabaseStatementsTest {
protected:
    std::string restoreCopy(int file, bool replace) const
    {
        return "RESTORE DATABASE Copy FROM DISK = N'" + media() + "' WITH MOVE 'Data_Data' TO N'"
            + (folder.path() / "c.mdf").string() + "', MOVE 'Data_log' TO N'" + (folder.path() / "c.ldf").string()
            + "', FILE = " + std::to_string(file) + (replace ? ", REPLACE" : "");
    }
    std::string restoreTarnel() const { return "RESTORE DATABASE Tarnel FROM DISK = N'" + media() + "' WITH REPLACE"; }

    // The statement as the client sends it: sp_executesql with nvarchar
    // parameters @P1, @P2.
    RecordingSink query(const std::string &statement, const std::vector<std::string> &values)
    {
        std::vector<RpcParameter> parameters{textParameter("@statement", statement)};
        std::string declarations;
        for (std::size_t i = 0; i < values.size(); ++i)
            declarations += (i ? "," : "") + std::string("@P") + std::to_string(i + 1) + " nvarchar(4000)";
        parameters.push_back(textParameter("@params", declarations));
        for (const auto &value : values)
            parameters.push_back(textParameter("", value));
        return rpc("sp_executesql", parameters);
    }

    static std::vector<std::int64_t> column(const RecordingSink &sink, std::size_t c)
    {
        std::vector<std::int64_t> out;
        for (const auto &row : sink.resultSets.at(0).rows)
            out.push_back(std::get<std::int64_t>(row.at(c)));
        return out;
    }

    std::int64_t count(const std::string &table)
    {
        auto sink = run("SELECT COUNT(*) FROM msdb.dbo." + table);
        EXPECT_EQ(sink.firstError(), nullptr) << table;
        return sink.resultSets.empty() ? -1 : std::get<std::int64_t>(sink.resultSets[0].rows.at(0).at(0));
    }
};

TEST_F(HistoryTest, TheHistoryAnswersTheQueriesOfAClientThatLostItsAnswer)
{
    startWithDatabase("10.50");
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH NAME = N'nightly'").firstError(), nullptr);
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    ASSERT_EQ(run(restoreCopy(2, false)).firstError(), nullptr);
    ASSERT_EQ(run(restoreCopy(1, true)).firstError(), nullptr);

    // Sets 1 and 2 written, 3 (file 2) and 4 (file 1) read by the restores.
    auto restores
        = query("SELECT restore_history_id, restore_date, backup_set_id, replace FROM msdb.dbo.restorehistory "
                "WHERE destination_database_name = @P1 AND restore_date >= @P2 ORDER BY restore_history_id "
                "DESC",
                {"copy", "2000-01-01T00:00:00"});
    ASSERT_EQ(restores.firstError(), nullptr) << restores.messages.at(0).text;
    EXPECT_EQ(column(restores, 0), (std::vector<std::int64_t>{2, 1}));
    EXPECT_EQ(column(restores, 2), (std::vector<std::int64_t>{4, 3}));
    EXPECT_EQ(column(restores, 3), (std::vector<std::int64_t>{1, 0}));
    EXPECT_EQ(restores.resultSets[0].columns.at(1).type, SqlType::DateTime);
    EXPECT_EQ(restores.resultSets[0].columns.at(3).type, SqlType::Bit);
    auto later = query("SELECT restore_history_id FROM msdb.dbo.restorehistory WHERE destination_database_name = @P1 "
                       "AND restore_date >= @P2",
                       {"Copy", "9999-01-01T00:00:00"});
    EXPECT_TRUE(later.resultSets.at(0).rows.empty());

    auto read = query("SELECT backup_set_id, media_set_id, position, name, database_name, backup_start_date, "
                      "backup_finish_date, type FROM msdb.dbo.backupset WHERE backup_set_id = @P1",
                      {"3"});
    ASSERT_EQ(read.resultSets.at(0).rows.size(), 1u);
    const auto &set = read.resultSets[0].rows[0];
    EXPECT_EQ(std::get<std::int64_t>(set[2]), 2); // the set restored was file 2
    EXPECT_TRUE(isNull(set[3])); // written without NAME
    EXPECT_EQ(std::get<std::string>(set[4]), "Tarnel"); // the database backed up, not the target
    EXPECT_LE(std::get<DateTimeValue>(set[5]).millisecondsSince1900,
              std::get<DateTimeValue>(set[6]).millisecondsSince1900);
    EXPECT_EQ(std::get<std::string>(set[7]), "D");
    EXPECT_EQ(read.resultSets[0].columns.at(7).type, SqlType::Char);
    EXPECT_EQ(read.resultSets[0].columns.at(7).maxLength, 1);

    auto named = query("SELECT backup_set_id, media_set_id, position, name, database_name, backup_finish_date FROM "
                       "msdb.dbo.backupset WHERE name = @P1 ORDER BY backup_set_id DESC",
                       {"nightly"});
    EXPECT_EQ(column(named, 0), (std::vector<std::int64_t>{4, 1}));
    EXPECT_EQ(column(named, 2), (std::vector<std::int64_t>{1, 1}));

    auto since = query("SELECT backup_set_id, media_set_id, position, backup_finish_date FROM msdb.dbo.backupset "
                       "WHERE database_name = @P1 AND backup_start_date >= @P2 ORDER BY backup_set_id DESC",
                       {"Tarnel", "2000-01-01T00:00:00"});
    EXPECT_EQ(column(since, 0), (std::vector<std::int64_t>{4, 3, 2, 1}));
    // One medium: one media set for every set on it.
    EXPECT_EQ(column(since, 1), (std::vector<std::int64_t>{1, 1, 1, 1}));

    auto device = query("SELECT physical_device_name FROM msdb.dbo.backupmediafamily WHERE media_set_id = @P1", {"1"});
    ASSERT_EQ(device.resultSets.at(0).rows.size(), 1u);
    EXPECT_EQ(std::get<std::string>(device.resultSets[0].rows[0][0]), media());
}

TEST_F(HistoryTest, TheHistoryTablesHaveTheColumnsOfTheVersionPlayed)
{
    for (const char *version : {"9.0", "10.50", "16.0"}) {
        SCOPED_TRACE(version);
        startWithDatabase(version);
        ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH COPY_ONLY").firstError(), nullptr);
        auto sets = run("SELECT TOP 1 * FROM msdb.dbo.backupset ORDER BY backup_set_id DESC");
        ASSERT_EQ(sets.firstError(), nullptr);
        const auto &columns = sets.resultSets.at(0).columns;
        const bool compressed = std::string(version) != "9.0";
        EXPECT_EQ(columns.back().name == "compressed_backup_size", compressed);
        for (const auto &c : columns)
            if (c.name == "backup_size" || c.name == "compressed_backup_size") {
                EXPECT_EQ(c.type, SqlType::Decimal);
                EXPECT_EQ(c.precision, 20);
                EXPECT_EQ(c.scale, 0);
            }
        const auto &row = sets.resultSets[0].rows.at(0);
        const auto value = [&](const char *name) {
            for (std::size_t i = 0; i < columns.size(); ++i)
                if (columns[i].name == name)
                    return row[i];
            ADD_FAILURE() << name;
            return Value{};
        };
        EXPECT_EQ(std::get<std::int64_t>(value("is_copy_only")), 1);
        EXPECT_EQ(std::get<std::string>(value("user_name")), "sa");
        // The set's bytes: the medium less its header.
        EXPECT_EQ(std::get<std::int64_t>(value("backup_size")),
                  static_cast<std::int64_t>(std::filesystem::file_size(media())) - 8192);
        auto family = run("SELECT * FROM msdb..backupmediafamily");
        EXPECT_EQ(family.firstError(), nullptr);
        engine.reset();
        for (const auto &entry : std::filesystem::directory_iterator(folder.path()))
            std::filesystem::remove_all(entry.path());
    }
}

TEST_F(HistoryTest, AFailedOrCancelledBackupOrRestoreLeavesNoHistory)
{
    startWithDatabase();
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    const auto written = count("backupset");
    const std::string missingFolder = (folder.path() / "none" / "x.bak").string();
    const struct {
        std::string batch;
        int error;
    } failures[] = {
        {"BACKUP DATABASE Tarnel TO DISK = N'" + missingFolder + "'", 3201},
        {"BACKUP DATABASE Nothing TO DISK = N'" + media() + "'", 911},
        {"RESTORE DATABASE Copy FROM DISK = N'" + missingFolder + "'", 3201},
        {"RESTORE DATABASE Tarnel FROM DISK = N'" + media() + "'", 3159},
        {restoreCopy(9, true), 4038},
    };
    for (const auto &failure : failures) {
        auto sink = run(failure.batch);
        ASSERT_NE(sink.firstError(), nullptr) << failure.batch;
        EXPECT_EQ(sink.firstError()->number, failure.error) << failure.batch;
    }
    CancelAtFirstFlush backup;
    engine->executeBatch(session, "BACKUP DATABASE Tarnel TO DISK = N'" + media() + "' WITH STATS = 10", backup);
    CancelAtFirstFlush restore;
    engine->executeBatch(session, restoreCopy(1, false) + ", STATS = 10", restore);
    EXPECT_TRUE(restore.dones.empty()) << "cancelled at its first progress message";
    EXPECT_EQ(count("backupset"), written);
    EXPECT_EQ(count("backupmediafamily"), 1);
    EXPECT_EQ(count("restorehistory"), 0);
}

TEST_F(HistoryTest, OnlySysadminReadsTheHistory)
{
    startWithDatabase();
    for (const ServerRole role : {ServerRole::Public, ServerRole::DbCreator}) {
        session.role = role;
        for (const char *table : {"backupset", "backupmediafamily", "restorehistory"}) {
            auto sink = run(std::string("SELECT * FROM msdb.dbo.") + table + " SELECT 1");
            ASSERT_NE(sink.firstError(), nullptr) << table;
            EXPECT_EQ(sink.firstError()->number, 229);
            EXPECT_EQ(sink.firstError()->severity, 14);
            EXPECT_EQ(sink.firstError()->text,
                      std::string("The SELECT permission was denied on the object '") + table
                          + "', database 'msdb', schema 'dbo'.");
            // The statement fails, the batch goes on.
            EXPECT_EQ(sink.resultSets.size(), 1u);
        }
    }
    session.role = ServerRole::SysAdmin;
    EXPECT_EQ(run("USE msdb SELECT * FROM backupset SELECT * FROM dbo.restorehistory").firstError(), nullptr);
    // Only msdb has them, and only in dbo.
    EXPECT_EQ(run("SELECT * FROM master.dbo.backupset").firstError()->number, 208);
    EXPECT_EQ(run("SELECT * FROM msdb.sys.backupset").firstError()->number, 208);
}

TEST_F(HistoryTest, EveryDatabaseStateIsShownAndRefusedAsARealServerDoes)
{
    startWithDatabase();
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    const struct {
        const char *state;
        std::int64_t number;
        std::int64_t statusBit;
        int refusal;
    } cases[] = {
        {"RESTORING", 1, 0x20, 927}, {"RECOVERING", 2, 0x80, 922}, {"SUSPECT", 4, 0x100, 926},
        {"OFFLINE", 6, 0x200, 942},  {"ONLINE", 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.state);
        ASSERT_EQ(run(std::string("EXEC sqlemu_test_set_state @database = N'tarnel', @state = N'") + c.state + "'")
                      .firstError(),
                  nullptr);
        auto view = run("SELECT state, state_desc FROM sys.databases WHERE name = 'Tarnel'");
        EXPECT_EQ(std::get<std::int64_t>(view.resultSets.at(0).rows.at(0)[0]), c.number);
        EXPECT_EQ(std::get<std::string>(view.resultSets[0].rows[0][1]), c.state);
        auto status = run("SELECT status FROM master.dbo.sysdatabases WHERE name = 'Tarnel'");
        EXPECT_EQ(std::get<std::int64_t>(status.resultSets.at(0).rows.at(0)[0]) & 0x3A0, c.statusBit);

        const auto use = run("USE Tarnel");
        const auto backup = run("BACKUP DATABASE Tarnel TO DISK = N'" + media("other.bak") + "'");
        const auto login = engine->loginDatabaseRefusal("Tarnel");
        if (c.refusal == 0) {
            EXPECT_EQ(use.firstError(), nullptr);
            EXPECT_EQ(backup.firstError(), nullptr);
            EXPECT_FALSE(login.has_value());
            run("USE master");
            continue;
        }
        EXPECT_EQ(numbers(use), std::vector<int>{c.refusal});
        EXPECT_EQ(use.firstError()->severity, 14);
        EXPECT_EQ(numbers(backup), (std::vector<int>{c.refusal, 3013}));
        ASSERT_TRUE(login.has_value());
        EXPECT_EQ(login->number, c.refusal);
        EXPECT_EQ(session.currentDatabase, "master");

        // REPLACE restores over a database in any of these states.
        auto restore = run(restoreTarnel());
        EXPECT_EQ(restore.firstError(), nullptr) << restore.messages.at(0).text;
        auto after = run("SELECT state_desc FROM sys.databases WHERE name = 'Tarnel'");
        EXPECT_EQ(std::get<std::string>(after.resultSets.at(0).rows.at(0)[0]), "ONLINE");
    }
    EXPECT_EQ(count("restorehistory"), 4);

    const auto unknown = run("EXEC sqlemu_test_set_state @database = N'Tarnel', @state = N'EMERGENCY'");
    ASSERT_NE(unknown.firstError(), nullptr);
    EXPECT_EQ(unknown.firstError()->number, 50000);
    EXPECT_EQ(run("EXEC sqlemu_test_set_state @database = N'msdb', @state = N'OFFLINE'").firstError()->number, 5058);
}

TEST_F(HistoryTest, AlterDatabaseTakesADatabaseOfflineAndBackOnline)
{
    startWithDatabase();
    const SessionState inTarnel = otherSession(60, "Tarnel");
    EXPECT_EQ(numbers(run("ALTER DATABASE Tarnel SET OFFLINE")), (std::vector<int>{5061, 5069}));
    EXPECT_FALSE(engine->sessionKilled(inTarnel));
    const auto offline = run("ALTER DATABASE Tarnel SET OFFLINE WITH ROLLBACK IMMEDIATE");
    EXPECT_EQ(offline.firstError(), nullptr);
    EXPECT_TRUE(engine->sessionKilled(inTarnel));
    engine->sessionClosed(inTarnel);
    EXPECT_EQ(numbers(run("USE Tarnel")), std::vector<int>{942});
    EXPECT_EQ(run("ALTER DATABASE Tarnel SET ONLINE").firstError(), nullptr);
    EXPECT_EQ(run("USE Tarnel").firstError(), nullptr);
    // Not the database the session itself is in.
    EXPECT_EQ(numbers(run("ALTER DATABASE Tarnel SET OFFLINE")), (std::vector<int>{5061, 5069}));
    run("USE master");
    EXPECT_EQ(numbers(run("ALTER DATABASE msdb SET OFFLINE")), (std::vector<int>{5058, 5069}));
    // Only a restore mends a suspect database.
    run("EXEC sqlemu_test_set_state @database = N'Tarnel', @state = N'SUSPECT'");
    EXPECT_EQ(numbers(run("ALTER DATABASE Tarnel SET ONLINE")), (std::vector<int>{926, 5069}));
    // An offline database is dropped without its files.
    run("EXEC sqlemu_test_set_state @database = N'Tarnel', @state = N'OFFLINE'");
    EXPECT_EQ(run("DROP DATABASE Tarnel").firstError(), nullptr);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Tarnel.mdf"));
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Tarnel_log.ldf"));
}

TEST_F(HistoryTest, TextsCompareWithDatesAsDates)
{
    startWithDatabase();
    const struct {
        const char *text;
        std::size_t rows; // databases created after it
        int error;
    } cases[] = {
        {"2000-01-01", 5, 0},          {"20000101", 5, 0},
        {"2000-01-01T00:00:00", 5, 0}, {"2000-01-01 00:00:00.5", 5, 0},
        {" 2000-01-01 13:14 ", 5, 0},  {"9999-12-31T23:59:59.997", 0, 0},
        {"2000-13-01", 0, 241},        {"2000-01-01T", 0, 241},
        {"2000-01-01 25:00", 0, 241},  {"yesterday", 0, 241},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        auto sink = run(std::string("SELECT name FROM sys.databases WHERE create_date >= '") + c.text + "'");
        if (c.error) {
            ASSERT_NE(sink.firstError(), nullptr);
            EXPECT_EQ(sink.firstError()->number, c.error);
            continue;
        }
        ASSERT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
        EXPECT_EQ(sink.resultSets.at(0).rows.size(), c.rows);
    }
    // Read to the millisecond: '.5' is half a second.
    const struct {
        const char *condition;
        std::size_t rows;
    } exactCases[] = {
        {"@d = '2001-02-03T04:05:06.500'", 1}, {"'20010203 04:05:06.5' = @d", 1},
        {"@d > '2001-02-03 04:05:06.499'", 1}, {"@d < '2001-02-03 04:05:06.501'", 1},
        {"@d > '2001-02-03 04:05:06.5'", 0},
    };
    for (const auto &c : exactCases) {
        auto sink
            = run(std::string("DECLARE @d datetime SET @d = '2001-02-03 04:05:06.5' SELECT 1 WHERE ") + c.condition);
        ASSERT_EQ(sink.firstError(), nullptr) << c.condition << ": " << sink.messages.at(0).text;
        EXPECT_EQ(sink.resultSets.at(0).rows.size(), c.rows) << c.condition;
    }
    // Equal to the millisecond, whichever side the text is on.
    auto exact
        = run("DECLARE @d datetime SELECT @d = crdate FROM sysdatabases WHERE name = 'Tarnel' "
              "SELECT name FROM sysdatabases WHERE CONVERT(nvarchar(30), '2000-01-01') < crdate AND crdate = @d");
    ASSERT_EQ(exact.firstError(), nullptr) << exact.messages.at(0).text;
    EXPECT_EQ(exact.resultSets.at(0).rows.size(), 1u);
}

// Counts how often the storage looked for a cancel: a paced operation looks
// all through its pauses.
class CountingSink : public RecordingSink {
public:
    bool cancelled() const override
    {
        ++polls;
        return false;
    }
    mutable int polls = 0;
};

TEST_F(HistoryTest, AServerWidePacePacesEverySessionsBackup)
{
    startWithDatabase();
    const auto backupBy = [&](SessionState &who) {
        CountingSink sink;
        engine->executeBatch(who, "BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'", sink);
        EXPECT_EQ(sink.firstError(), nullptr);
        return sink.polls;
    };
    SessionState other = otherSession(60, "master");
    const int unpaced = backupBy(other);
    ASSERT_EQ(run("EXEC sqlemu_test_pace_storage @milliseconds = 100, @scope = N'server'").firstError(), nullptr);
    EXPECT_GT(backupBy(other), unpaced + 5);
    ASSERT_EQ(run("EXEC sqlemu_test_pace_storage @milliseconds = 0, @scope = N'server'").firstError(), nullptr);
    EXPECT_EQ(backupBy(other), unpaced);
    // The session's own pace stays its own.
    ASSERT_EQ(run("EXEC sqlemu_test_pace_storage @milliseconds = 100").firstError(), nullptr);
    EXPECT_EQ(backupBy(other), unpaced);
    EXPECT_GT(backupBy(session), unpaced + 5);
    EXPECT_EQ(run("EXEC sqlemu_test_pace_storage 10, N'everywhere'").firstError()->number, 50000);
}

// A sink another thread may cancel, for a request run in the background.
class BackgroundRequest {
public:
    BackgroundRequest(Engine &engine, SessionState &who, std::string batch)
        : m_thread([this, &engine, &who, batch = std::move(batch)] { engine.executeBatch(who, batch, sink); })
    {}
    ~BackgroundRequest() { finish(); }
    BackgroundRequest(const BackgroundRequest &) = delete;
    BackgroundRequest &operator=(const BackgroundRequest &) = delete;
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    RecordingSink sink;

private:
    std::thread m_thread;
};

class RunningRequestsTest : public DatabaseStatementsTest {
protected:
    static constexpr const char *kRestoreOf
        = "SELECT session_id, command, percent_complete FROM sys.dm_exec_requests WHERE command = N'RESTORE "
          "DATABASE' AND database_id = DB_ID(@P1)";

    // The rows of sys.dm_exec_requests the session sees, as the product asks.
    std::vector<std::vector<Value>> requestsOf(const std::string &query, const std::string &database)
    {
        auto sink = rpc("sp_executesql",
                        {textParameter("@statement", query), textParameter("@params", "@P1 nvarchar(128)"),
                         textParameter("@P1", database)});
        EXPECT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
        return sink.resultSets.empty() ? std::vector<std::vector<Value>>{} : sink.resultSets[0].rows;
    }

    // Waits until the query lists what the other thread is doing.
    std::vector<std::vector<Value>> waitFor(const std::string &query, const std::string &database,
                                            const std::function<bool(const std::vector<Value> &)> &wanted)
    {
        for (int i = 0; i < 500; ++i) {
            for (const auto &row : requestsOf(query, database))
                if (wanted(row))
                    return {row};
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }
};

TEST_F(RunningRequestsTest, EachSessionSeesItsOwnRequestAndSysadminSeesEveryOnesWithItsProgress)
{
    startWithDatabase("9.0", 24);
    ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);

    // Alone, the asking request is the one listed, as on a real server.
    auto own = run("SELECT session_id, request_id, status, command, DB_NAME(database_id) FROM sys.dm_exec_requests");
    ASSERT_EQ(own.resultSets.at(0).rows.size(), 1u);
    EXPECT_EQ(own.resultSets[0].rows[0],
              (std::vector<Value>{std::int64_t{53}, std::int64_t{0}, std::string("running"), std::string("SELECT"),
                                  std::string("master")}));
    const auto &columns = own.resultSets[0].columns;
    EXPECT_EQ(columns.at(0).type, SqlType::SmallInt);
    auto types = run("SELECT start_time, percent_complete, database_id FROM sys.dm_exec_requests");
    EXPECT_EQ(types.resultSets.at(0).columns.at(0).type, SqlType::DateTime);
    EXPECT_EQ(types.resultSets.at(0).columns.at(1).type, SqlType::Real);
    EXPECT_EQ(types.resultSets.at(0).columns.at(2).type, SqlType::SmallInt);

    SessionState restorer = otherSession(60, "master");
    RecordingSink pace;
    engine->executeBatch(restorer, "EXEC sqlemu_test_pace_storage @milliseconds = 100", pace);
    ASSERT_EQ(pace.firstError(), nullptr);
    BackgroundRequest restore(*engine, restorer,
                              "RESTORE DATABASE Copy FROM DISK = N'" + media() + "' WITH MOVE 'Data_Data' TO '"
                                  + (folder.path() / "c.mdf").string() + "', MOVE 'Data_log' TO '"
                                  + (folder.path() / "c.ldf").string() + "'");
    const auto midway = waitFor(kRestoreOf, "Copy", [](const std::vector<Value> &row) {
        return std::stod(std::get<std::string>(row.at(2))) > 0;
    });
    ASSERT_EQ(midway.size(), 1u);
    EXPECT_EQ(midway[0].at(0), Value{std::int64_t{60}});
    EXPECT_EQ(midway[0].at(1), Value{std::string("RESTORE DATABASE")});
    EXPECT_LT(std::stod(std::get<std::string>(midway[0].at(2))), 100.0);
    // Progress only grows while the restore goes on.
    const double first = std::stod(std::get<std::string>(midway[0].at(2)));
    const auto later = waitFor(kRestoreOf, "Copy", [first](const std::vector<Value> &row) {
        return std::stod(std::get<std::string>(row.at(2))) != first;
    });
    ASSERT_EQ(later.size(), 1u);
    EXPECT_GT(std::stod(std::get<std::string>(later[0].at(2))), first);
    // Another database's restore is not this one.
    EXPECT_TRUE(requestsOf(kRestoreOf, "Tarnel").empty());

    // Without VIEW SERVER STATE only the session's own request is listed.
    const struct {
        ServerRole role;
        std::size_t restores;
    } roles[] = {{ServerRole::SysAdmin, 1}, {ServerRole::DbCreator, 0}, {ServerRole::Public, 0}};
    for (const auto &r : roles) {
        session.role = r.role;
        EXPECT_EQ(requestsOf(kRestoreOf, "Copy").size(), r.restores) << static_cast<int>(r.role);
        auto all = run("SELECT session_id FROM sys.dm_exec_requests");
        EXPECT_EQ(all.resultSets.at(0).rows.size(), r.restores + 1) << static_cast<int>(r.role);
    }
    session.role = ServerRole::SysAdmin;

    // Cancelled midway: gone from the list, its target left restoring.
    restore.sink.cancel = true;
    restore.finish();
    EXPECT_TRUE(requestsOf(kRestoreOf, "Copy").empty());
    auto state = run("SELECT state_desc FROM sys.databases WHERE name = 'Copy'");
    EXPECT_EQ(state.resultSets.at(0).rows.at(0).at(0), Value{std::string("RESTORING")});
}

TEST_F(RunningRequestsTest, AKilledSessionsConnectionClosesAtOnceWhenIdleOrOnceItsRequestHasStopped)
{
    startWithDatabase();
    std::atomic<int> closes[3] = {0, 0, 0};
    const auto opened = [&](int spid, const std::string &database, int index) {
        SessionState state;
        state.spid = spid;
        state.loginName = "sa";
        state.role = ServerRole::SysAdmin;
        state.currentDatabase = database;
        engine->sessionOpened(state, [&closes, index] { ++closes[index]; });
        return state;
    };
    const SessionState idle = opened(60, "Tarnel", 0);
    SessionState busy = opened(61, "Tarnel", 1);
    const SessionState elsewhere = opened(62, "master", 2);
    BackgroundRequest waiting(*engine, busy, "WAITFOR DELAY '00:01:00' SELECT 1");
    ASSERT_EQ(waitFor("SELECT session_id, command FROM sys.dm_exec_requests WHERE session_id = @P1", "61",
                      [](const std::vector<Value> &row) { return row.at(1) == Value{std::string("WAITFOR")}; })
                  .size(),
              1u);

    ASSERT_EQ(numbers(run("ALTER DATABASE Tarnel SET SINGLE_USER WITH ROLLBACK IMMEDIATE")),
              (std::vector<int>{5060, 5060}));
    EXPECT_EQ(closes[0].load(), 1); // idle: closed before the statement ends
    waiting.finish();
    // The running request stopped where it was, then its connection closed.
    EXPECT_TRUE(waiting.sink.resultSets.empty());
    EXPECT_EQ(closes[1].load(), 1);
    EXPECT_EQ(closes[2].load(), 0);
    EXPECT_TRUE(engine->sessionKilled(busy));
    // Closed once, however often the session is looked at again.
    RecordingSink late;
    engine->executeBatch(busy, "SELECT 1", late);
    EXPECT_EQ(closes[1].load(), 1);
    engine->sessionClosed(idle);
    engine->sessionClosed(busy);
    engine->sessionClosed(elsewhere);
}

} // namespace
} // namespace sqlemu
