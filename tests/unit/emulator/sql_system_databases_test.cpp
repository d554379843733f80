// The system databases have files of their own, as a real server's: they
// back up like any database, while what a real server refuses on them
// (tempdb at all, master's restore) is refused with its errors.

#include "sql_engine_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace sqlemu {
namespace {

using test::EngineTest;
using test::RecordingSink;
namespace fs = std::filesystem;

class SystemDatabasesTest : public EngineTest {
protected:
    fs::path instanceFile(const std::string &name) const { return folder.path() / "MSSQLSERVER" / name; }
    std::string media(const std::string &name) const { return (folder.path() / (name + ".Bak")).string(); }

    static std::vector<int> numbers(const RecordingSink &sink)
    {
        std::vector<int> out;
        for (const auto &m : sink.messages)
            out.push_back(m.number);
        return out;
    }
};

TEST_F(SystemDatabasesTest, TheyBackUpAndRefuseWhatARealServerRefuses)
{
    start("10.50");
    for (const char *file : {"master.mdf", "mastlog.ldf", "model.mdf", "MSDBData.mdf", "templog.ldf"})
        EXPECT_TRUE(fs::is_regular_file(instanceFile(file))) << file;
    for (const std::string name : {"master", "model", "msdb"}) {
        auto backup = run("BACKUP DATABASE " + name + " TO DISK = N'" + media(name) + "'");
        ASSERT_EQ(backup.firstError(), nullptr) << backup.messages.at(0).text;
        auto header = run("RESTORE HEADERONLY FROM DISK = N'" + media(name) + "'");
        EXPECT_EQ(test::text(header.resultSets.at(0).rows.at(0).at(9)), name);
    }
    struct Case {
        std::string statement;
        std::vector<int> numbers;
    };
    const Case refused[] = {
        {"BACKUP DATABASE tempdb TO DISK = N'" + media("tempdb") + "'", {3147, 3013}},
        {"RESTORE DATABASE TEMPDB FROM DISK = N'" + media("master") + "'", {3147, 3013}},
        {"RESTORE DATABASE master FROM DISK = N'" + media("master") + "' WITH REPLACE", {3108, 3013}},
        {"RESTORE DATABASE msdb FROM DISK = N'" + media("msdb") + "' WITH REPLACE", {40517}},
        {"RESTORE DATABASE model FROM DISK = N'" + media("model") + "' WITH REPLACE", {40517}},
    };
    const auto masterBytes = fs::file_size(instanceFile("master.mdf"));
    for (const Case &c : refused)
        EXPECT_EQ(numbers(run(c.statement)), c.numbers) << c.statement;
    EXPECT_EQ(fs::file_size(instanceFile("master.mdf")), masterBytes);
    EXPECT_FALSE(fs::exists(media("tempdb")));
}

TEST_F(SystemDatabasesTest, MissingFilesAreWrittenAtStartAndOthersNeverOverwritten)
{
    start();
    engine.reset();
    fs::remove(instanceFile("master.mdf"));
    fs::remove(instanceFile("mastlog.ldf"));
    fs::remove(instanceFile("modellog.ldf"));
    std::ofstream(instanceFile("model.mdf"), std::ios::trunc) << "the user's own";
    engine = createEngine(config);
    EXPECT_TRUE(fs::is_regular_file(instanceFile("master.mdf")));
    EXPECT_TRUE(fs::is_regular_file(instanceFile("mastlog.ldf")));
    EXPECT_EQ(fs::file_size(instanceFile("model.mdf")), 14u) << "a file already there is left alone";
    EXPECT_FALSE(fs::exists(instanceFile("modellog.ldf")));
    EXPECT_EQ(run("BACKUP DATABASE master TO DISK = N'" + media("again") + "'").firstError(), nullptr);
}

} // namespace
} // namespace sqlemu
