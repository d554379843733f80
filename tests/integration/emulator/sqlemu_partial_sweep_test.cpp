// sqlemu killed while a backup writes a new medium and while a restore
// writes a new database's files, each into a folder no database of the
// server uses: the next start removes the hidden partial files left there.

#include "killed_server_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

namespace fs = std::filesystem;

class SqlemuPartialSweep : public KilledServerTest {
protected:
    SqlemuPartialSweep()
        : KilledServerTest("sqlemu-partials")
    {}

    static bool holdsPartialFile(const fs::path &watched)
    {
        std::error_code error;
        for (fs::directory_iterator it(watched, error), end; !error && it != end; it.increment(error))
            if (it->path().filename().string().find(".sqlemu-partial-") != std::string::npos)
                return true;
        return false;
    }

    // Sends statement with every storage piece slowed down, and kills the
    // server once the statement's partial file is in watched; false when it
    // never showed up.
    bool killWhileWritingInto(const std::string &statement, const fs::path &watched)
    {
        auto server = start();
        DbLibConnection db;
        if (!db.open(server->address(), "sa", ""))
            return false;
        bool ok = false;
        db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 10000", &ok);
        if (!ok || !db.send(statement))
            return false;
        bool seen = false;
        for (int attempt = 0; attempt < 600 && !(seen = holdsPartialFile(watched)); ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(server->processId(), SIGKILL);
        server->stop(); // collects the killed process
        return seen;
    }
};

TEST_F(SqlemuPartialSweep, StartRemovesWhatKilledBackupAndRestoreLeftInFoldersNoDatabaseUses)
{
    {
        auto server = start();
        DbLibConnection db;
        ASSERT_TRUE(db.open(server->address(), "sa", ""));
        ASSERT_TRUE(attachAndBackUpSource(db, 3));
    }
    const fs::path backups = folder / "backups";
    const fs::path restored = folder / "restored";
    fs::create_directories(backups);
    fs::create_directories(restored);

    ASSERT_TRUE(
        killWhileWritingInto("BACKUP DATABASE Source TO DISK = N'" + (backups / "New.Bak").string() + "'", backups));
    ASSERT_TRUE(killWhileWritingInto("RESTORE DATABASE Target FROM DISK = N'" + media.string()
                                         + "' WITH MOVE 'Data_Data' TO '" + (restored / "Target.mdf").string()
                                         + "', MOVE 'Data_log' TO '" + (restored / "Target_log.ldf").string() + "'",
                                     restored));

    auto server = start();
    EXPECT_EQ(strayFiles(backups), std::vector<std::string>{});
    EXPECT_EQ(strayFiles(restored), std::vector<std::string>{});
    DbLibConnection db;
    ASSERT_TRUE(db.open(server->address(), "sa", ""));
    // The killed restore's target stays listed as restoring, as a real
    // server leaves an interrupted restore, until a restore or a drop.
    auto names = db.execute("select name, state_desc from sys.databases where database_id > 4 order by name");
    ASSERT_EQ(names.size(), 1u);
    ASSERT_EQ(names[0].rows.size(), 2u);
    EXPECT_EQ(names[0].rows[0][0], "Source");
    EXPECT_EQ(names[0].rows[0][1], "ONLINE");
    EXPECT_EQ(names[0].rows[1][0], "Target");
    EXPECT_EQ(names[0].rows[1][1], "RESTORING");
}

} // namespace
