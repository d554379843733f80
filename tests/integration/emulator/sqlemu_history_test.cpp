// What a client that lost the answer to a BACKUP or RESTORE finds when it
// asks the server: msdb's history through db-lib, kept across restarts and
// kills, written only for statements that completed; databases in every
// state; and a restore whose client went away midway.

#include "killed_server_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr const char *kRestoresSince
    = "SELECT restore_history_id, restore_date, backup_set_id, replace FROM msdb.dbo.restorehistory WHERE "
      "destination_database_name = @P1 AND restore_date >= @P2 ORDER BY restore_history_id DESC";
constexpr const char *kSetById = "SELECT backup_set_id, media_set_id, position, name, database_name, "
                                 "backup_start_date, backup_finish_date, type FROM msdb.dbo.backupset WHERE "
                                 "backup_set_id = @P1";
constexpr const char *kSetsByName = "SELECT backup_set_id, media_set_id, position, name, database_name, "
                                    "backup_finish_date FROM msdb.dbo.backupset WHERE name = @P1 ORDER BY "
                                    "backup_set_id DESC";
constexpr const char *kSetsSince = "SELECT backup_set_id, media_set_id, position, backup_finish_date FROM "
                                   "msdb.dbo.backupset WHERE database_name = @P1 AND backup_start_date >= @P2 ORDER "
                                   "BY backup_set_id DESC";
constexpr const char *kDevice = "SELECT physical_device_name FROM msdb.dbo.backupmediafamily WHERE media_set_id = @P1";

class SqlemuHistory : public KilledServerTest {
protected:
    SqlemuHistory()
        : KilledServerTest("sqlemu-history")
    {}

    void SetUp() override
    {
        KilledServerTest::SetUp();
        fs::create_directories(folder / "restored");
        options.logins = {"bob:secret"};
    }

    // The query as the product sends it: sp_executesql, nvarchar parameters.
    static std::vector<std::optional<std::string>> ask(DbLibConnection &db, const std::string &statement,
                                                       const std::vector<std::string> &values, bool *ok = nullptr)
    {
        std::vector<RpcArgument> arguments{{RpcArgument::Kind::Text, "@statement", statement, 0}};
        std::string declarations;
        for (std::size_t i = 0; i < values.size(); ++i)
            declarations += (i ? ", @P" : "@P") + std::to_string(i + 1) + " nvarchar(4000)";
        arguments.push_back({RpcArgument::Kind::Text, "@params", declarations, 0});
        for (std::size_t i = 0; i < values.size(); ++i)
            arguments.push_back({RpcArgument::Kind::Text, "@P" + std::to_string(i + 1), values[i], 0});
        bool succeeded = false;
        const auto sets = db.call("sp_executesql", arguments, &succeeded);
        if (ok)
            *ok = succeeded;
        std::vector<std::optional<std::string>> cells;
        if (!sets.empty())
            for (const auto &row : sets[0].rows)
                cells.insert(cells.end(), row.begin(), row.end());
        return cells;
    }

    // Every answer of the product's five queries, for comparing two moments.
    static std::vector<std::vector<std::optional<std::string>>> allAnswers(DbLibConnection &db)
    {
        return {ask(db, kRestoresSince, {"Target", "2000-01-01T00:00:00"}), ask(db, kSetById, {"3"}),
                ask(db, kSetsByName, {"nightly"}), ask(db, kSetsSince, {"Source", "2000-01-01T00:00:00"}),
                ask(db, kDevice, {"1"})};
    }

    std::string count(DbLibConnection &db, const std::string &table)
    {
        const auto sets = db.execute("SELECT COUNT(*) FROM msdb.dbo." + table);
        return sets.empty() || sets[0].rows.empty() ? "?" : sets[0].rows[0][0].value_or("NULL");
    }

    std::string stateOf(DbLibConnection &db, const std::string &database)
    {
        const auto sets = db.execute("SELECT state_desc FROM sys.databases WHERE name = N'" + database + "'");
        return sets.empty() || sets[0].rows.empty() ? "" : sets[0].rows[0][0].value_or("NULL");
    }

    // The hidden files a backup or restore writes before it commits.
    std::vector<std::string> partialFiles() const
    {
        std::vector<std::string> found;
        for (const auto &entry : fs::recursive_directory_iterator(folder))
            if (entry.path().filename().string().find(".sqlemu-partial-") != std::string::npos)
                found.push_back(entry.path().string());
        return found;
    }

    static std::string spidOf(DbLibConnection &db)
    {
        const auto sets = db.execute("SELECT @@SPID");
        return sets.at(0).rows.at(0).at(0).value_or("");
    }

    // The trace's end line of that session's batch, once the server wrote it.
    static std::optional<nlohmann::json> endOf(const SqlemuProcess &server, const std::string &spid,
                                               const std::string &batch)
    {
        for (int i = 0; i < 500; ++i) {
            bool received = false;
            for (const auto &line : server.traceLines()) {
                auto json = nlohmann::json::parse(line);
                if (std::to_string(json["session"].get<int>()) != spid)
                    continue;
                if (json["kind"] == "batch")
                    received = json["text"] == batch;
                else if (json["kind"] == "end" && received)
                    return json;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::nullopt;
    }
};

TEST_F(SqlemuHistory, TheClientsQueriesAreAnsweredAndTheHistorySurvivesAKill)
{
    std::vector<std::vector<std::optional<std::string>>> before;
    {
        SqlemuProcess server(options);
        ASSERT_TRUE(server.start()) << server.error();
        DbLibConnection db;
        ASSERT_TRUE(db.open(server.address(), "sa", ""));
        ASSERT_TRUE(attachAndBackUpSource(db, 3, " WITH NAME = N'nightly'"));
        bool ok = false;
        db.execute("BACKUP DATABASE Source TO DISK = N'" + media.string() + "'", &ok);
        ASSERT_TRUE(ok);
        db.execute(restoreStatement("Target"), &ok);
        ASSERT_TRUE(ok);

        const auto restores = ask(db, kRestoresSince, {"Target", "2000-01-01T00:00:00"}, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(restores.size(), 4u); // one row
        EXPECT_EQ(restores[0], "1");
        EXPECT_EQ(restores[2], "3"); // the set the restore read: a row of its own
        EXPECT_EQ(restores[3], "1"); // WITH REPLACE
        EXPECT_TRUE(ask(db, kRestoresSince, {"Target", "9999-01-01T00:00:00"}).empty());

        const auto read = ask(db, kSetById, {"3"});
        ASSERT_EQ(read.size(), 8u);
        EXPECT_EQ(read[1], "1"); // the medium's one media set
        EXPECT_EQ(read[2], "1"); // FILE = 1: the first set
        EXPECT_EQ(read[3], "nightly");
        EXPECT_EQ(read[4], "Source");
        EXPECT_EQ(read[7], "D");

        EXPECT_EQ(ask(db, kSetsByName, {"nightly"}).at(0), "3");
        const auto since = ask(db, kSetsSince, {"Source", "2000-01-01T00:00:00"});
        ASSERT_EQ(since.size(), 12u);
        EXPECT_EQ(since[0], "3");
        EXPECT_EQ(since[4], "2");
        EXPECT_EQ(since[6], "2"); // the second set on the medium
        EXPECT_EQ(since[8], "1");
        EXPECT_EQ(ask(db, kDevice, {"1"}), std::vector<std::optional<std::string>>{media.string()});
        before = allAnswers(db);

        // The rows are on disk before the client hears of success.
        ASSERT_EQ(::kill(server.processId(), SIGKILL), 0);
        server.stop();
    }
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection db;
    ASSERT_TRUE(db.open(server.address(), "sa", ""));
    EXPECT_EQ(allAnswers(db), before);
    // Ids go on after the restart.
    bool ok = false;
    db.execute("BACKUP DATABASE Source TO DISK = N'" + media.string() + "'", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ask(db, kSetsSince, {"Source", "2000-01-01T00:00:00"}).at(0), "4");
}

TEST_F(SqlemuHistory, OnlySysadminReadsTheHistory)
{
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection db;
    ASSERT_TRUE(db.open(server.address(), "bob", "secret"));
    bool ok = true;
    ask(db, kSetById, {"1"}, &ok);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(db.saw(229));
    for (const auto &m : db.messages) {
        if (m.number == 229) {
            EXPECT_EQ(m.text,
                      "The SELECT permission was denied on the object 'backupset', database 'msdb', schema 'dbo'.");
        }
    }
}

TEST_F(SqlemuHistory, EachStateRefusesLoginsAndUseAndARestoreWithReplaceMendsIt)
{
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection db;
    ASSERT_TRUE(db.open(server.address(), "sa", ""));
    ASSERT_TRUE(attachAndBackUpSource(db, 3));
    bool ok = false;
    db.execute(restoreStatement("Target"), &ok);
    ASSERT_TRUE(ok);
    const struct {
        const char *state;
        int refusal;
    } cases[] = {{"RESTORING", 927}, {"RECOVERING", 922}, {"SUSPECT", 926}, {"OFFLINE", 942}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.state);
        db.execute(std::string("EXEC sqlemu_test_set_state @database = N'Target', @state = N'") + c.state + "'", &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(stateOf(db, "Target"), c.state);

        DbLibConnection direct;
        EXPECT_FALSE(direct.open(server.address(), "sa", "", "Target"));
        EXPECT_TRUE(direct.saw(c.refusal));
        db.execute("USE Target", &ok);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(db.saw(c.refusal));

        db.execute(restoreStatement("Target"), &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(stateOf(db, "Target"), "ONLINE");
    }
    EXPECT_EQ(count(db, "restorehistory"), "5");
}

TEST_F(SqlemuHistory, AClientThatGoesAwayMidwayAbandonsItsRestoreAndItsBackup)
{
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection db;
    ASSERT_TRUE(db.open(server.address(), "sa", ""));
    ASSERT_TRUE(attachAndBackUpSource(db, 24));
    bool ok = false;
    db.execute(restoreStatement("Target"), &ok);
    ASSERT_TRUE(ok);
    const std::string targetData = readFile(folder / "restored" / "Data.mdf");
    const std::string medium = readFile(media);
    // The client's own statements are not paced: the whole server is.
    db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 150, @scope = N'server'", &ok);
    ASSERT_TRUE(ok);

    // Midway: a restore has begun its hidden files, a backup has written
    // past the medium's committed end.
    const struct {
        const char *what;
        std::string batch;
        std::function<bool()> midway;
    } cases[] = {
        {"restore", restoreStatement("Target"), [&] { return !partialFiles().empty(); }},
        {"backup", "BACKUP DATABASE Source TO DISK = N'" + media.string() + "'",
         [&] { return fs::file_size(media) > medium.size(); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        DbLibConnection client;
        ASSERT_TRUE(client.open(server.address(), "sa", ""));
        const std::string spid = spidOf(client);
        ASSERT_TRUE(client.send(c.batch));
        // Cut once the statement is writing its partial files.
        for (int i = 0; i < 400 && !c.midway(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(c.midway());
        client.close();

        const auto end = endOf(server, spid, c.batch);
        ASSERT_TRUE(end.has_value());
        EXPECT_EQ((*end)["delivered"], false);
        EXPECT_EQ(partialFiles(), std::vector<std::string>{});
    }
    db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 0, @scope = N'server'", &ok);
    // Nothing recorded, the medium as it was; the target is left
    // restoring, as a real server leaves an abandoned restore, its old
    // files whole on disk, and a restore WITH REPLACE brings it back.
    EXPECT_EQ(count(db, "restorehistory"), "1");
    EXPECT_EQ(count(db, "backupset"), "2");
    EXPECT_EQ(stateOf(db, "Target"), "RESTORING");
    EXPECT_EQ(readFile(folder / "restored" / "Data.mdf"), targetData);
    EXPECT_EQ(readFile(media), medium);
    db.execute(restoreStatement("Target"), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(stateOf(db, "Target"), "ONLINE");
}

// What a client whose RESTORE answer was lost asks a real server through
// db-lib: is a RESTORE of this database still running, and how far is it?
// Then an administrator ends the sessions in a database, one of them
// running a request: its connection closes once the request has stopped.
TEST_F(SqlemuHistory, ARunningRestoreIsListedWithItsProgressAndAKilledRequestsConnectionCloses)
{
    constexpr const char *kRestoreRunning
        = "SELECT session_id, command, percent_complete FROM sys.dm_exec_requests WHERE command = N'RESTORE "
          "DATABASE' AND database_id = DB_ID(@P1)";
    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    DbLibConnection db;
    ASSERT_TRUE(db.open(server.address(), "sa", ""));
    ASSERT_TRUE(attachAndBackUpSource(db, 24));
    bool ok = false;
    db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 150, @scope = N'server'", &ok);
    ASSERT_TRUE(ok);

    DbLibConnection restorer;
    ASSERT_TRUE(restorer.open(server.address(), "sa", ""));
    const std::string spid = spidOf(restorer);
    ASSERT_TRUE(restorer.send(restoreStatement("Target")));
    std::vector<std::optional<std::string>> row;
    for (int i = 0; i < 300 && (row.empty() || std::stod(row.at(2).value_or("0")) <= 0); ++i) {
        row = ask(db, kRestoreRunning, {"Target"});
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(row[0], spid);
    EXPECT_EQ(row[1], "RESTORE DATABASE");
    EXPECT_GT(std::stod(row[2].value_or("0")), 0.0);
    EXPECT_LT(std::stod(row[2].value_or("100")), 100.0);

    // A login without VIEW SERVER STATE sees its own request only.
    DbLibConnection bob;
    ASSERT_TRUE(bob.open(server.address(), "bob", "secret"));
    EXPECT_TRUE(ask(bob, kRestoreRunning, {"Target"}).empty());
    const auto own = bob.execute("SELECT session_id, command FROM sys.dm_exec_requests", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(own.at(0).rows, (std::vector<std::vector<std::optional<std::string>>>{{spidOf(bob), "SELECT"}}));
    restorer.close(); // abandoned: the target is left restoring
    for (int i = 0; i < 300 && !ask(db, kRestoreRunning, {"Target"}).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(stateOf(db, "Target"), "RESTORING");

    // A session running a request in Source is ended with the others.
    db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 0, @scope = N'server'", &ok);
    DbLibConnection busy;
    ASSERT_TRUE(busy.open(server.address(), "sa", "", "Source"));
    ASSERT_TRUE(busy.send("WAITFOR DELAY '00:01:00'"));
    db.execute("ALTER DATABASE Source SET SINGLE_USER WITH ROLLBACK IMMEDIATE", &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(busy.closedByServer(std::chrono::seconds(5)));
    EXPECT_FALSE(busy.drain());
}

} // namespace
