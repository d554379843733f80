// The tool's statements on whole databases (attach, backup, restore, drop,
// the log shrink) sent through FreeTDS to the real sqlemu, with the files
// they touch checked on disk afterwards.

#include "database_files_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;

class SqlemuDatabaseFiles : public DatabaseFilesTest {};

TEST_F(SqlemuDatabaseFiles, AnAttachedPairIsListedWithItsFilesAndTakenOnce)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log");
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();

    auto list = run("select name, filename from master.dbo.sysdatabases where name = N'Tarnel'");
    ASSERT_EQ(list.size(), 1u);
    ASSERT_EQ(list[0].rows.size(), 1u);
    EXPECT_EQ(list[0].rows[0][1], pair.data.string());
    auto files = run("USE Tarnel select fileid, name, filename from sysfiles");
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(files[0].rows.size(), 2u);
    EXPECT_EQ(files[0].rows[0][1], "Data_Data");
    EXPECT_EQ(files[0].rows[1][2], pair.log.string());
    run("USE master");

    EXPECT_FALSE(attach("Tarnel", pair));
    EXPECT_EQ(numbers(), (std::vector<int>{1801}));
    // The same files under another name: another database holds them.
    EXPECT_FALSE(attach("Other", pair));
    EXPECT_EQ(numbers(), (std::vector<int>{5120, 1802}));

    const auto spare = makeDatabase("Spare", "Spare_Data", "Spare_log");
    const fs::path missing = folder / "missing.mdf";
    EXPECT_FALSE(attach("Missing", {missing, spare.log}));
    ASSERT_FALSE(db.messages.empty());
    EXPECT_EQ(db.messages[0].number, 5120);
    EXPECT_NE(db.messages[0].text.find(missing.string()), std::string::npos);

    const fs::path notADatabase = folder / "notes.mdf";
    writeFile(notADatabase, std::string(20000, 'x'));
    EXPECT_FALSE(attach("Notes", {notADatabase, spare.log}));
    EXPECT_EQ(numbers(), (std::vector<int>{5172, 1802}));
    // A data file with the log of another database.
    EXPECT_FALSE(attach("Mixed", {spare.data, makeDatabase("Third", "Third_Data", "Third_log").log}));
    EXPECT_EQ(numbers(), (std::vector<int>{5173, 1813}));
    EXPECT_EQ(databaseNames(), (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Tarnel"}));
}

TEST_F(SqlemuDatabaseFiles, TheToolsBackupAppendsASetAndLeavesEarlierSetsAsTheyWere)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log", 8);
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    const fs::path media = folder / "backups" / "Tarnel.Bak";
    fs::create_directories(media.parent_path());

    ASSERT_TRUE(backupAsTheToolDoes("Tarnel", media.string())) << firstMessage();
    std::vector<std::string> texts;
    for (const auto &m : db.messages)
        texts.push_back(m.text);
    ASSERT_EQ(texts.size(), 13u);
    EXPECT_EQ(texts[0], "10 percent processed.");
    EXPECT_EQ(texts[9], "100 percent processed.");
    EXPECT_EQ(texts[10], "Processed 1024 pages for database 'Tarnel', file 'Data_Data' on file 1.");
    EXPECT_EQ(texts[11], "Processed 128 pages for database 'Tarnel', file 'Data_log' on file 1.");
    EXPECT_EQ(texts[12].rfind("BACKUP DATABASE successfully processed 1152 pages in ", 0), 0u) << texts[12];
    const std::string first = readFile(media);

    ASSERT_TRUE(backupAsTheToolDoes("Tarnel", media.string())) << firstMessage();
    EXPECT_EQ(db.messages.at(10).text, "Processed 1024 pages for database 'Tarnel', file 'Data_Data' on file 2.");
    const std::string both = readFile(media);
    ASSERT_GT(both.size(), first.size());
    // Only the media header (its first 8 KB) names the new end; the first
    // set's bytes are untouched.
    EXPECT_TRUE(both.compare(kMediaHeaderBytes, first.size() - kMediaHeaderBytes, first, kMediaHeaderBytes,
                             first.size() - kMediaHeaderBytes)
                == 0);

    auto headers = run("RESTORE HEADERONLY FROM DISK = N'" + media.string() + "'");
    ASSERT_EQ(headers.size(), 1u);
    ASSERT_EQ(headers[0].rows.size(), 2u);
    EXPECT_EQ(headers[0].rows[1][columnIndex(headers[0], "Position")], "2");
    EXPECT_EQ(headers[0].rows[0][columnIndex(headers[0], "BackupName")], "My Backup");
    EXPECT_EQ(headers[0].rows[0][columnIndex(headers[0], "DatabaseName")], "Tarnel");
    run("RESTORE VERIFYONLY FROM DISK = N'" + media.string() + "' WITH FILE = 2");
    EXPECT_EQ(numbers(), (std::vector<int>{3262}));
    EXPECT_EQ(db.messages.at(0).text, "The backup set on file 2 is valid.");
}

TEST_F(SqlemuDatabaseFiles, BackupFailuresEndAbnormallyAndLeaveTheMediaAsItWas)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log");
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    const fs::path media = folder / "Tarnel.Bak";
    ASSERT_TRUE(backupAsTheToolDoes("Tarnel", media.string()));
    const std::string before = readFile(media);

    EXPECT_FALSE(backupAsTheToolDoes("Tarnel", (folder / "no-such-folder" / "x.Bak").string()));
    EXPECT_EQ(numbers(), (std::vector<int>{3201, 3013}));
    EXPECT_EQ(db.messages.at(1).text, "BACKUP DATABASE is terminating abnormally.");
    // A folder where the file should be cannot be written either.
    EXPECT_FALSE(backupAsTheToolDoes("Tarnel", folder.string()));
    EXPECT_EQ(numbers(), (std::vector<int>{3201, 3013}));

    EXPECT_FALSE(backupAsTheToolDoes("Nowhere", media.string()));
    EXPECT_EQ(numbers(), (std::vector<int>{911, 3013}));

    // A file that is not a backup medium is not appended to.
    const fs::path notMedia = folder / "notes.Bak";
    writeFile(notMedia, std::string(30000, 'n'));
    EXPECT_FALSE(backupAsTheToolDoes("Tarnel", notMedia.string()));
    EXPECT_EQ(numbers().back(), 3013);
    EXPECT_EQ(readFile(notMedia), std::string(30000, 'n'));

    EXPECT_EQ(readFile(media), before);
    EXPECT_FALSE(fs::exists(folder / "no-such-folder"));
    EXPECT_EQ(strayFiles(folder), std::vector<std::string>{});
}

TEST_F(SqlemuDatabaseFiles, TheToolsRestoreWritesTheFilesWhereMoveSays)
{
    const auto pair = makeDatabase("Source", "Data_Data", "Data_log", 6);
    ASSERT_TRUE(attach("Source", pair)) << firstMessage();
    growLog("Source", 2);
    const fs::path media = folder / "Source.Bak";
    ASSERT_TRUE(backupAsTheToolDoes("Source", media.string())) << firstMessage();

    const fs::path app = folder / "App";
    fs::create_directories(app / "Data");
    ASSERT_TRUE(restoreAsTheToolDoes("Tarnel", media, app)) << firstMessage();
    ASSERT_EQ(db.messages.size(), 3u) << "no progress without STATS";
    EXPECT_EQ(db.messages.back().text.rfind("RESTORE DATABASE successfully processed ", 0), 0u);
    EXPECT_EQ(db.messages[db.messages.size() - 3].text,
              "Processed 768 pages for database 'Tarnel', file 'Data_Data' on file 1.");

    EXPECT_EQ(readFile(app / "Data" / "Data.mdf"), readFile(pair.data));
    EXPECT_EQ(readFile(app / "Data" / "Data_Log.ldf"), readFile(pair.log));
    auto files = run("select filename from Tarnel.dbo.sysfiles");
    ASSERT_EQ(files.size(), 1u);
    ASSERT_EQ(files[0].rows.size(), 2u);
    EXPECT_EQ(files[0].rows[0][0], (app / "Data" / "Data.mdf").string());

    // Again, over the database that is there now: a real server wants REPLACE.
    EXPECT_FALSE(restoreAsTheToolDoes("Tarnel", media, app));
    EXPECT_EQ(numbers(), (std::vector<int>{3154, 3013}));
    EXPECT_EQ(db.messages.at(1).text, "RESTORE DATABASE is terminating abnormally.");
    EXPECT_FALSE(restoreAsTheToolDoes("Source", media, folder / "Elsewhere", ""));
    EXPECT_EQ(numbers(), (std::vector<int>{3159, 3013}));
    ASSERT_TRUE(restoreAsTheToolDoes("Tarnel", media, app, ", REPLACE")) << firstMessage();
    EXPECT_EQ(readFile(app / "Data" / "Data.mdf"), readFile(pair.data));

    auto fileList = run("RESTORE FILELISTONLY FROM DISK = N'" + media.string() + "'");
    ASSERT_EQ(fileList.size(), 1u);
    ASSERT_EQ(fileList[0].rows.size(), 2u);
    EXPECT_EQ(fileList[0].rows[0][0], "Data_Data");
    EXPECT_EQ(fileList[0].rows[1][2], "L");
    EXPECT_EQ(fileList[0].rows[0][1], pair.data.string());
}

TEST_F(SqlemuDatabaseFiles, AFailedRestoreLeavesNoDatabaseAndNoFiles)
{
    const auto pair = makeDatabase("Source", "Source_Data", "Source_log");
    ASSERT_TRUE(attach("Source", pair)) << firstMessage();
    const fs::path media = folder / "Source.Bak";
    ASSERT_TRUE(backupAsTheToolDoes("Source", media.string()));
    const fs::path app = folder / "App";
    fs::create_directories(app / "Data");

    // The tool always moves Data_Data and Data_log; this backup has others.
    EXPECT_FALSE(restoreAsTheToolDoes("Tarnel", media, app));
    EXPECT_EQ(numbers(), (std::vector<int>{3234, 3013}));
    EXPECT_EQ(db.messages.at(0).state, 2);
    EXPECT_EQ(db.messages.at(0).text,
              "Logical file 'Data_Data' is not part of database 'Source'. Use RESTORE "
              "FILELISTONLY to list the logical file names.");

    EXPECT_FALSE(restoreAsTheToolDoes("Tarnel", folder / "missing.Bak", app));
    EXPECT_EQ(numbers(), (std::vector<int>{3201, 3013}));
    EXPECT_EQ(db.messages.at(0).state, 2);

    EXPECT_TRUE(fs::is_empty(app / "Data"));
    EXPECT_EQ(databaseNames(), (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Source"}));
}

TEST_F(SqlemuDatabaseFiles, DropDeletesTheFilesAndSingleUserEndsTheOtherSessions)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log");
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();

    DbLibConnection other;
    ASSERT_TRUE(other.open(server->address(), "sa", "", "Tarnel"));
    bool ok = true;
    run("DROP DATABASE Tarnel", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(numbers(), (std::vector<int>{3702}));
    EXPECT_EQ(db.messages.at(0).text, "Cannot drop database \"Tarnel\" because it is currently in use.");
    EXPECT_TRUE(fs::exists(pair.data));

    run(dropBatch("Tarnel"), &ok);
    EXPECT_TRUE(ok) << firstMessage();
    EXPECT_EQ(numbers(), (std::vector<int>{5060, 5060}));
    EXPECT_FALSE(fs::exists(pair.data));
    EXPECT_FALSE(fs::exists(pair.log));
    EXPECT_EQ(databaseNames(), (std::vector<std::string>{"master", "tempdb", "model", "msdb"}));

    // The other session was ended and its connection closed at once: the
    // idle client sees it before it sends anything.
    EXPECT_TRUE(other.closedByServer(std::chrono::seconds(5)));
    other.execute("select 1", &ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(other.clientErrors.empty());

    // The tool's drop batch when the database is not there: the guard skips
    // the ALTER, the DROP says why it cannot.
    run(dropBatch("Tarnel"), &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(numbers(), (std::vector<int>{3701}));
    EXPECT_EQ(db.messages.at(0).severity, 11);
}

TEST_F(SqlemuDatabaseFiles, TheToolsLogShrinkShrinksAGrownLogOnDisk)
{
    const auto pair = makeDatabase("Tarnel", "Tarnel_Data", "Tarnel_log");
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    growLog("Tarnel", 6);
    EXPECT_GT(fs::file_size(pair.log), 6u << 20);

    DbLibConnection tool;
    ASSERT_TRUE(tool.open(server->address(), "sa", "", "Tarnel"));
    bool ok = false;
    auto sets = logShrinkAsTheToolDoes(tool, "Tarnel", &ok);
    ASSERT_TRUE(ok) << (tool.messages.empty() ? "" : tool.messages[0].text);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(
        sets[0].columns,
        (std::vector<std::string>{"DbId", "FileId", "CurrentSize", "MinimumSize", "UsedPages", "EstimatedPages"}));
    ASSERT_EQ(sets[0].rows.size(), 1u);
    EXPECT_EQ(sets[0].rows[0][1], "2");
    EXPECT_EQ(sets[0].rows[0][2], "128");
    ASSERT_EQ(tool.messages.size(), 1u);
    EXPECT_EQ(tool.messages[0].number, 2528);
    EXPECT_EQ(fs::file_size(pair.log), 1u << 20);
}

TEST_F(SqlemuDatabaseFiles, MakeDatabaseRefusesToOverwriteAndExplainsItsUsage)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log", 4);
    EXPECT_EQ(fs::file_size(pair.data), 4u << 20);
    EXPECT_EQ(fs::file_size(pair.log), 1u << 20);
    const std::string before = readFile(pair.data);

    auto again = runProcess({builtExecutable("sqlemu"), "--make-database", "Tarnel", "--data", pair.data.string(),
                             "--log", (folder / "other.ldf").string()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.output.find("Msg 5170"), std::string::npos) << again.output;
    EXPECT_EQ(readFile(pair.data), before);
    EXPECT_FALSE(fs::exists(folder / "other.ldf"));

    auto incomplete = runProcess({builtExecutable("sqlemu"), "--make-database", "Tarnel", "--size", "4"});
    EXPECT_EQ(incomplete.exitCode, 2);
    EXPECT_NE(incomplete.output.find("--make-database needs --data and --log"), std::string::npos);
}

class SqlemuDatabaseFilesOn2022 : public DatabaseFilesTest {
protected:
    void SetUp() override { startServer("16.0"); }
};

TEST_F(SqlemuDatabaseFilesOn2022, TheToolsLogShrinkFailsAsOnSqlServer2008AndLater)
{
    const auto pair = makeDatabase("Tarnel", "Tarnel_Data", "Tarnel_log");
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    growLog("Tarnel", 3);
    const auto grown = fs::file_size(pair.log);

    DbLibConnection tool;
    ASSERT_TRUE(tool.open(server->address(), "sa", "", "Tarnel"));
    bool ok = true;
    logShrinkAsTheToolDoes(tool, "Tarnel", &ok);
    EXPECT_FALSE(ok);
    ASSERT_EQ(tool.messages.size(), 1u);
    EXPECT_EQ(tool.messages[0].number, 155);
    EXPECT_EQ(tool.messages[0].text, "'TRUNCATE_ONLY' is not a recognized BACKUP option.");
    // Nothing of the batch ran.
    EXPECT_EQ(fs::file_size(pair.log), grown);
}

// The shrink of 2008 and later lets the log go under simple recovery and
// puts the database back as it was: online, in full recovery, its data file
// untouched; only the log file is smaller.
class SqlemuRecoveryShrink : public DatabaseFilesTest, public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override { startServer(GetParam()); }

    std::string scalar(const std::string &sql)
    {
        const auto sets = run(sql);
        return sets.empty() || sets[0].rows.empty() ? std::string("<none>") : sets[0].rows[0][0].value_or("NULL");
    }
};

TEST_P(SqlemuRecoveryShrink, AGrownLogShrinksAndTheRecoveryModelComesBack)
{
    const auto pair = makeDatabase("Tarnel", "Tarnel_Data", "Tarnel_log");
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    growLog("Tarnel", 6);
    const auto grown = fs::file_size(pair.log);
    EXPECT_GT(grown, 6u << 20);
    const std::string data = readFile(pair.data);

    // The tool's shared connection is in the configured database.
    DbLibConnection tool;
    ASSERT_TRUE(tool.open(server->address(), "sa", "", "Tarnel"));
    bool ok = false;
    recoveryLogShrinkAsTheToolDoes(tool, "Tarnel", &ok);
    ASSERT_TRUE(ok) << (tool.messages.empty() ? "" : tool.messages[0].text);
    EXPECT_EQ(fs::file_size(pair.log), 1u << 20) << "grown to " << grown;
    EXPECT_EQ(readFile(pair.data), data);
    EXPECT_EQ(scalar("SELECT recovery_model_desc FROM sys.databases WHERE name = 'Tarnel'"), "FULL");
    EXPECT_EQ(scalar("SELECT state_desc FROM sys.databases WHERE name = 'Tarnel'"), "ONLINE");

    // A database already in simple recovery stays there.
    run("ALTER DATABASE Tarnel SET RECOVERY SIMPLE");
    growLog("Tarnel", 2);
    recoveryLogShrinkAsTheToolDoes(tool, "Tarnel", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(fs::file_size(pair.log), 1u << 20);
    EXPECT_EQ(scalar("SELECT recovery_model_desc FROM sys.databases WHERE name = 'Tarnel'"), "SIMPLE");

    // A name the server does not know: its own error, nothing changed.
    recoveryLogShrinkAsTheToolDoes(tool, "Tarnel]; DROP DATABASE Tarnel --", &ok);
    EXPECT_FALSE(ok);
    ASSERT_FALSE(tool.messages.empty());
    EXPECT_EQ(tool.messages.back().number, 911);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM sys.databases WHERE name = 'Tarnel'"), "1");
    EXPECT_EQ(readFile(pair.data), data);
}

INSTANTIATE_TEST_SUITE_P(Versions, SqlemuRecoveryShrink, ::testing::Values("10.50", "16.0"));

TEST_F(SqlemuDatabaseFiles, ATTENTIONDuringABackupOrRestoreLeavesNothingHalfDone)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log", 64);
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    const fs::path media = folder / "Tarnel.Bak";
    ASSERT_TRUE(backupAsTheToolDoes("Tarnel", media.string()));
    const std::string before = readFile(media);

    paceStorage(db, 150);
    for (const fs::path &target : {media, folder / "New.Bak"}) {
        SCOPED_TRACE(target.string());
        ASSERT_TRUE(db.send("BACKUP DATABASE Tarnel TO DISK = N'" + target.string() + "' WITH NOINIT, STATS = 10"));
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_TRUE(db.cancel());
        bool ok = false;
        run("select 1", &ok);
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(readFile(media), before);
    EXPECT_FALSE(fs::exists(folder / "New.Bak"));

    // A restore stopped midway leaves its target restoring, as a real
    // server does, and no file written; the database can be dropped.
    const fs::path app = folder / "App";
    fs::create_directories(app / "Data");
    ASSERT_TRUE(db.send(" USE master  RESTORE DATABASE Copy FROM DISK = N'" + media.string()
                        + "' WITH MOVE 'Data_Data' TO '" + (app / "Data" / "Data.mdf").string()
                        + "', MOVE 'Data_log' TO '" + (app / "Data" / "Data_Log.ldf").string() + "'"));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_TRUE(db.cancel());
    EXPECT_TRUE(fs::is_empty(app / "Data"));
    EXPECT_EQ(databaseNames(), (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Tarnel", "Copy"}));
    bool ok = false;
    const auto state = db.execute("SELECT state_desc FROM sys.databases WHERE name = N'Copy'", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(state.at(0).rows.at(0).at(0), "RESTORING");
    EXPECT_EQ(strayFiles(folder), std::vector<std::string>{});
    paceStorage(db, 0);
    run("DROP DATABASE Copy", &ok);
    EXPECT_TRUE(ok) << firstMessage();
    EXPECT_EQ(databaseNames(), (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Tarnel"}));
}

TEST_F(SqlemuDatabaseFiles, ProgressReachesTheClientWhileTheBackupRuns)
{
    const auto pair = makeDatabase("Tarnel", "Data_Data", "Data_log", 256);
    ASSERT_TRUE(attach("Tarnel", pair)) << firstMessage();
    ASSERT_TRUE(db.send("BACKUP DATABASE Tarnel TO DISK = N'" + (folder / "Tarnel.Bak").string()
                        + "' WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, STATS = 10, NOFORMAT"));
    bool ok = false;
    ASSERT_TRUE(db.drain(&ok));
    ASSERT_TRUE(ok) << firstMessage();
    std::vector<std::chrono::steady_clock::time_point> progress;
    std::chrono::steady_clock::time_point completed;
    for (const auto &m : db.messages) {
        if (m.number == 3211)
            progress.push_back(m.at);
        if (m.number == 3014)
            completed = m.at;
    }
    ASSERT_EQ(progress.size(), 10u);
    // Each step arrived as it was reached, not all together with the end.
    EXPECT_LT(progress.front(), progress.back());
    EXPECT_LT(progress.front(), completed);
}

} // namespace
