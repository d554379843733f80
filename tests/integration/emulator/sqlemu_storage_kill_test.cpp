// sqlemu killed with SIGKILL in the middle of backups, restores and
// attaches: every time it starts again, its catalogue loads, and every
// database it lists is whole (or, after a killed restore over it, marked as
// restoring until a restore completes), and every backup set it committed
// verifies.

#include "killed_server_fixture.h"
#include "storage/database_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <random>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kStatusRestoring = 0x20;
constexpr std::int64_t kStatusSuspect = 0x100;

class SqlemuStorageKill : public KilledServerTest {
protected:
    SqlemuStorageKill()
        : KilledServerTest("sqlemu-kill")
    {}

    static int processId(DbLibConnection &connection)
    {
        auto sets = connection.execute("SELECT CAST(SERVERPROPERTY('ProcessID') AS int)");
        return sets.empty() || sets[0].rows.empty() ? -1 : std::stoi(sets[0].rows[0][0].value_or("-1"));
    }

    // What a restarted server lists must be whole.
    void checkEverythingIsWhole(DbLibConnection &connection, const std::string &when)
    {
        SCOPED_TRACE(when);
        auto sets = connection.execute("select name, status from master.dbo.sysdatabases where dbid > 4");
        ASSERT_EQ(sets.size(), 1u);
        for (const auto &row : sets[0].rows) {
            const std::string name = row[0].value_or("");
            const std::int64_t status = std::stoll(row[1].value_or("0"));
            EXPECT_EQ(status & kStatusSuspect, 0) << name << " is suspect";
            if (status & kStatusRestoring) {
                // A killed restore leaves the target marked; restoring again
                // brings it back whole.
                bool ok = false;
                connection.execute(restoreStatement(name), &ok);
                EXPECT_TRUE(ok) << name;
            }
            auto files = connection.execute("select filename from " + name + ".dbo.sysfiles");
            ASSERT_EQ(files.size(), 1u) << name;
            ASSERT_EQ(files[0].rows.size(), 2u) << name;
            EXPECT_TRUE(
                sqlemu::isWholeDatabaseFilePair(files[0].rows[0][0].value_or(""), files[0].rows[1][0].value_or("")))
                << name;
        }
        if (!fs::exists(media))
            return;
        auto headers = connection.execute("RESTORE HEADERONLY FROM DISK = N'" + media.string() + "'");
        ASSERT_EQ(headers.size(), 1u);
        for (std::size_t position = 1; position <= headers[0].rows.size(); ++position) {
            bool ok = false;
            connection.execute("RESTORE VERIFYONLY FROM DISK = N'" + media.string()
                                   + "' WITH FILE = " + std::to_string(position),
                               &ok);
            EXPECT_TRUE(ok) << "set " << position;
        }
    }
};

TEST_F(SqlemuStorageKill, EveryStartAfterAKillFindsWholeDatabasesAndBackups)
{
    {
        auto server = start();
        DbLibConnection db;
        ASSERT_TRUE(db.open(server->address(), "sa", ""));
        ASSERT_TRUE(attachAndBackUpSource(db, 24, " WITH NAME = N'first'"));
        fs::create_directories(folder / "restored");
    }

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> delay(0, 120);
    constexpr int kRounds = 9;
    for (int round = 0; round < kRounds; ++round) {
        const std::string name = "Attached" + std::to_string(round);
        const auto pair
            = round % 3 == 2 ? makeDatabaseFiles(folder, name, name + "_Data", name + "_log") : DatabasePair{};

        auto server = start();
        DbLibConnection db;
        ASSERT_TRUE(db.open(server->address(), "sa", ""));
        checkEverythingIsWhole(db, "before round " + std::to_string(round));
        const int pid = processId(db);
        ASSERT_GT(pid, 1);
        bool ok = false;
        db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 15", &ok);
        ASSERT_TRUE(ok);

        switch (round % 3) {
        case 0:
            ASSERT_TRUE(db.send("BACKUP DATABASE Source TO DISK = N'" + media.string() + "' WITH NOINIT, STATS = 10"));
            break;
        case 1:
            ASSERT_TRUE(db.send(restoreStatement("Target")));
            break;
        default:
            ASSERT_TRUE(db.send("CREATE DATABASE " + name + " ON (FILENAME = N'" + pair.data.string()
                                + "'), (FILENAME = N'" + pair.log.string() + "') FOR ATTACH"));
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        server->stop(); // collects the killed process
    }

    auto server = start();
    DbLibConnection db;
    ASSERT_TRUE(db.open(server->address(), "sa", ""));
    checkEverythingIsWhole(db, "at the end");
    auto names = db.execute("select name from master.dbo.sysdatabases where dbid > 4");
    ASSERT_EQ(names.size(), 1u);
    ASSERT_FALSE(names[0].rows.empty());
    EXPECT_EQ(names[0].rows[0][0], "Source");
    std::cout << "after " << kRounds << " kills: " << names[0].rows.size() << " user databases\n";
    EXPECT_EQ(strayFiles(folder / "restored"), std::vector<std::string>{});
}

} // namespace
