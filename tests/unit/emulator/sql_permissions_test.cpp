// Work on one database's log and files, per role: sysadmin and the
// database's owner may, other logins (a dbcreator who owns another
// database among them) get a real server's refusal and change nothing.

#include "sql_engine_fixture.h"
#include "storage/database_file.h"

#include <gtest/gtest.h>

namespace sqlemu {
namespace {

using test::EngineTest;
using test::RecordingSink;

class PermissionsTest : public EngineTest {
protected:
    void SetUp() override
    {
        start("9.0", {"Tarnel"});
        NewDatabaseFiles files;
        files.name = "Kept";
        files.dataPath = folder.path() / "Kept.mdf";
        files.logPath = folder.path() / "Kept_log.ldf";
        files.dataSizeMegabytes = 1;
        createDatabaseFiles(files);
        as("keeper", ServerRole::DbCreator);
        auto attached = run("CREATE DATABASE Kept ON (FILENAME = N'" + files.dataPath.string() + "'), (FILENAME = N'"
                            + files.logPath.string() + "') FOR ATTACH");
        ASSERT_EQ(attached.firstError(), nullptr) << attached.messages.at(0).text;
    }

    void as(const std::string &login, ServerRole role)
    {
        session.loginName = login;
        session.role = role;
        session.currentDatabase = "master";
    }

    static std::vector<int> errors(const RecordingSink &sink)
    {
        std::vector<int> out;
        for (const auto &m : sink.messages)
            if (m.isError())
                out.push_back(m.number);
        return out;
    }

    std::string logPages(const std::string &database)
    {
        auto sink = run("SELECT size FROM " + database + ".dbo.sysfiles WHERE fileid = 2");
        return std::to_string(test::integer(sink.resultSets.at(0).rows.at(0).at(0)));
    }
};

TEST_F(PermissionsTest, OnlySysadminAndTheOwnerMayTruncateOrShrinkALog)
{
    struct Case {
        const char *login;
        ServerRole role;
        const char *database;
        std::vector<int> truncate; // BACKUP LOG ... WITH TRUNCATE_ONLY
        std::vector<int> shrink; // DBCC SHRINKFILE in that database
    };
    const std::vector<int> allowed;
    const Case cases[] = {
        {"clerk", ServerRole::Public, "Kept", {262, 3013}, {2571}},
        {"clerk", ServerRole::Public, "Tarnel", {262, 3013}, {2571}},
        {"keeper", ServerRole::DbCreator, "Tarnel", {262, 3013}, {2571}},
        {"KEEPER", ServerRole::DbCreator, "Kept", allowed, allowed},
        {"sa", ServerRole::SysAdmin, "Tarnel", allowed, allowed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.login) + " in " + c.database);
        as("sa", ServerRole::SysAdmin);
        const std::string before = logPages(c.database);
        as(c.login, c.role);
        auto truncate = run(std::string("BACKUP LOG ") + c.database + " WITH TRUNCATE_ONLY");
        EXPECT_EQ(errors(truncate), c.truncate);
        auto shrink = run(std::string("USE ") + c.database + " DBCC SHRINKFILE(2, 0)");
        EXPECT_EQ(errors(shrink), c.shrink);
        if (!c.shrink.empty()) {
            EXPECT_EQ(shrink.messages.back().text,
                      "User '" + std::string(c.login) + "' does not have permission to run DBCC SHRINKFILE.");
            as("sa", ServerRole::SysAdmin);
            EXPECT_EQ(logPages(c.database), before) << "a refused shrink leaves the log as it was";
        }
    }
}

TEST_F(PermissionsTest, TheOwnerIsKeptWithTheCatalogue)
{
    engine.reset();
    engine = createEngine(config);
    as("keeper", ServerRole::DbCreator);
    EXPECT_EQ(errors(run("BACKUP LOG Kept WITH TRUNCATE_ONLY")), std::vector<int>{});
    as("clerk", ServerRole::Public);
    EXPECT_EQ(errors(run("BACKUP DATABASE Kept TO DISK = N'" + (folder.path() / "k.bak").string() + "'")),
              (std::vector<int>{262, 3013}));
}

} // namespace
} // namespace sqlemu
