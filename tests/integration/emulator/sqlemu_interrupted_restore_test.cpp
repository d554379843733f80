// A restore killed midway: the next start clears the partial files it left,
// and the database it left restoring admits nobody (927) until a restore
// completes it, so no session can stand in the way of that restore.

#include "killed_server_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

namespace fs = std::filesystem;

class SqlemuInterruptedRestore : public KilledServerTest {
protected:
    SqlemuInterruptedRestore()
        : KilledServerTest("sqlemu-interrupted")
    {}

    void SetUp() override
    {
        KilledServerTest::SetUp();
        fs::create_directories(folder / "restored");
    }

    std::string restoreTarget() const { return restoreStatement("Target"); }

    // Source attached and backed up, Target restored from it once.
    void prepare(DbLibConnection &db)
    {
        ASSERT_TRUE(attachAndBackUpSource(db, 24));
        bool ok = false;
        db.execute(restoreTarget(), &ok);
        ASSERT_TRUE(ok);
    }
};

TEST_F(SqlemuInterruptedRestore, TheNextStartClearsPartialFilesAndRefusesTheRestoringDatabase)
{
    {
        SqlemuProcess server(options);
        ASSERT_TRUE(server.start()) << server.error();
        DbLibConnection db;
        ASSERT_TRUE(db.open(server.address(), "sa", ""));
        prepare(db);
        if (HasFatalFailure())
            return;
        bool ok = false;
        db.execute("EXEC sqlemu_test_pace_storage @milliseconds = 40", &ok);
        ASSERT_TRUE(ok);
        ASSERT_TRUE(db.send(restoreTarget()));
        // Killed once the restore has begun writing its partial files.
        for (int i = 0; i < 200 && strayFiles(folder / "restored").empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        ASSERT_FALSE(strayFiles(folder / "restored").empty());
        ASSERT_EQ(::kill(server.processId(), SIGKILL), 0);
        server.stop();
    }

    SqlemuProcess server(options);
    ASSERT_TRUE(server.start()) << server.error();
    EXPECT_EQ(strayFiles(folder / "restored"), std::vector<std::string>{});

    DbLibConnection direct;
    EXPECT_FALSE(direct.open(server.address(), "sa", "", "Target"));
    EXPECT_TRUE(direct.saw(927));

    DbLibConnection db;
    ASSERT_TRUE(db.open(server.address(), "sa", ""));
    bool ok = true;
    db.execute("USE Target", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(db.saw(927));

    // Nobody is in it, so the restore that mends it goes through.
    db.execute(restoreTarget(), &ok);
    EXPECT_TRUE(ok);
    db.execute("USE Target", &ok);
    EXPECT_TRUE(ok);
}

} // namespace
