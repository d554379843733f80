// The statements the tool sends, as FreeTDS's db-lib sends them to the real
// sqlemu: the database list, the instance list, sp_executesql with
// parameters, a cancel and progress messages of a long statement.

#include "dblib_client.h"

#include "support/sqlemu_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

namespace {

const char *const kDatabaseList = "Select name, filename from master.dbo.sysdatabases \r\nWhere 1=1\r\n\r\n";
const char *const kFilteredDatabaseList
    = "Select name, filename from master.dbo.sysdatabases \r\n"
      "Where name Like 'Qelnat%' OR  name like '%Movan%' OR  name like '%Tarnel%'  AND  1=1\r\n\r\n";
const char *const kInstanceList = "use master\r\n\r\nEXECUTE \r\nxp_regread\r\n"
                                  "  @rootkey = 'HKEY_LOCAL_MACHINE',\r\n"
                                  "  @key = 'SOFTWARE\\Microsoft\\Microsoft SQL Server',\r\n"
                                  "  @value_name = 'InstalledInstances'\r\n";

// Adds user databases to a stopped server's catalogue, as if they had been
// attached earlier.
void addUserDatabases(const std::filesystem::path &catalogue, const std::vector<std::string> &names)
{
    nlohmann::json json;
    std::ifstream(catalogue) >> json;
    auto &databases = json["databases"];
    int id = 0;
    for (const auto &d : databases)
        id = std::max(id, d["id"].get<int>());
    nlohmann::json model = databases.back();
    for (const auto &name : names) {
        nlohmann::json d = model;
        d["id"] = ++id;
        d["name"] = name;
        d["files"][0]["logicalName"] = name + "_Data";
        d["files"][0]["physicalName"] = (catalogue.parent_path() / (name + ".mdf")).string();
        d["files"][1]["logicalName"] = name + "_Log";
        d["files"][1]["physicalName"] = (catalogue.parent_path() / (name + "_log.ldf")).string();
        databases.push_back(d);
    }
    std::ofstream(catalogue) << json.dump(2);
}

class SqlemuQueries : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dataDir = makeTemporaryFolder("sqlemu-queries");
        SqlemuOptions options;
        options.dataDir = dataDir;
        options.instances = {{"SALES", 0}};
        {
            SqlemuProcess first(options);
            ASSERT_TRUE(first.start()) << first.error();
            ASSERT_EQ(first.stop(), 0);
        }
        addUserDatabases(std::filesystem::path(dataDir) / "MSSQLSERVER" / "catalogue.json",
                         {"Tarnel", "QelnatAccounts", "OldMovanData", "Payroll", "qelnat2"});
        server = new SqlemuProcess(options);
        ASSERT_TRUE(server->start()) << server->error();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
        std::filesystem::remove_all(dataDir);
    }
    void SetUp() override { ASSERT_TRUE(db.open(server->address(), "sa", "")); }

    static std::vector<std::string> column(const ResultSet &set, std::size_t index)
    {
        std::vector<std::string> values;
        for (const auto &row : set.rows)
            values.push_back(row.at(index).value_or("NULL"));
        return values;
    }

    static SqlemuProcess *server;
    static std::string dataDir;
    DbLibConnection db;
};

SqlemuProcess *SqlemuQueries::server = nullptr;
std::string SqlemuQueries::dataDir;

TEST_F(SqlemuQueries, TheDatabaseListShowsEveryDatabaseInTheServersOrder)
{
    bool ok = false;
    auto sets = db.execute(kDatabaseList, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].columns, (std::vector<std::string>{"name", "filename"}));
    EXPECT_EQ(column(sets[0], 0),
              (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Tarnel", "QelnatAccounts", "OldMovanData",
                                        "Payroll", "qelnat2"}));
    for (const auto &file : column(sets[0], 1))
        EXPECT_FALSE(file.empty());
}

TEST_F(SqlemuQueries, TheFilterKeepsTheProductsDatabasesIgnoringCase)
{
    bool ok = false;
    auto sets = db.execute(kFilteredDatabaseList, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(column(sets[0], 0), (std::vector<std::string>{"Tarnel", "QelnatAccounts", "OldMovanData", "qelnat2"}));
}

TEST_F(SqlemuQueries, TheInstanceListNamesEveryInstanceOfTheProcess)
{
    bool ok = false;
    auto sets = db.execute(kInstanceList, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sets.size(), 1u);
    ASSERT_EQ(sets[0].columns.size(), 3u);
    EXPECT_EQ(sets[0].columns[0], "Value");
    EXPECT_EQ(sets[0].columns[1], "Value");
    EXPECT_EQ(sets[0].columns[2], "Data");
    EXPECT_EQ(column(sets[0], 1), (std::vector<std::string>{"MSSQLSERVER", "SALES"}));
}

TEST_F(SqlemuQueries, SpExecuteSqlTakesTextAndIntParameters)
{
    bool ok = false;
    auto sets
        = db.call("sp_executesql",
                  {{RpcArgument::Kind::Text, "@statement",
                    "SELECT name FROM master.dbo.sysdatabases WHERE name = @db OR name LIKE @pattern OR dbid = @id", 0},
                   {RpcArgument::Kind::Text, "@params", "@db nvarchar(128), @pattern varchar(20), @id int", 0},
                   {RpcArgument::Kind::Text, "@db", "Payroll", 0},
                   {RpcArgument::Kind::Text, "@pattern", "%movan%", 0},
                   {RpcArgument::Kind::Int, "@id", "", 2}},
                  &ok);
    ASSERT_TRUE(ok) << (db.messages.empty() ? "" : db.messages[0].text);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(column(sets[0], 0), (std::vector<std::string>{"tempdb", "OldMovanData", "Payroll"}));
    EXPECT_EQ(db.returnStatus(), 0);

    // The trace shows what went over the wire.
    auto lines = server->traceLines();
    auto rpc = std::find_if(lines.rbegin(), lines.rend(),
                            [](const std::string &l) { return l.find("\"kind\":\"rpc\"") != std::string::npos; });
    ASSERT_NE(rpc, lines.rend());
    auto json = nlohmann::json::parse(*rpc);
    EXPECT_EQ(json["procedure"], "sp_executesql");
    ASSERT_EQ(json["parameters"].size(), 5u);
    EXPECT_EQ(json["parameters"][3]["type"], "nvarchar");
    EXPECT_EQ(json["parameters"][3]["value"], "%movan%");
    EXPECT_EQ(json["parameters"][4]["type"], "int");
    EXPECT_EQ(json["parameters"][4]["value"], 2);
}

TEST_F(SqlemuQueries, ErrorsComeBackAsARealServerSendsThem)
{
    bool ok = true;
    db.execute("USE NoSuchDatabase", &ok);
    EXPECT_FALSE(ok);
    ASSERT_FALSE(db.messages.empty());
    EXPECT_EQ(db.messages[0].number, 911);
    EXPECT_EQ(db.messages[0].severity, 16);
    EXPECT_EQ(db.messages[0].line, 1);
    EXPECT_FALSE(db.messages[0].server.empty());

    // and the session is still usable
    auto sets = db.execute(kDatabaseList, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(sets.size(), 1u);
}

TEST_F(SqlemuQueries, ACancelStopsAWaitAndTheSessionGoesOn)
{
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(db.send("WAITFOR DELAY '00:01:00'"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(db.cancel());
    // A minute-long wait that ended long before its minute was cancelled.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));

    bool ok = false;
    auto sets = db.execute(kDatabaseList, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(sets.size(), 1u);
}

TEST_F(SqlemuQueries, ACancelStopsTheProgressOfALongStatement)
{
    ASSERT_TRUE(db.send("EXEC sqlemu_test_progress @seconds = 60"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(db.cancel());
    const auto seen = db.messages.size();
    EXPECT_LT(seen, 100u); // far fewer than a minute's worth
    bool ok = false;
    db.execute("WAITFOR DELAY '00:00:00.3'", &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(db.messages.size(), 0u); // nothing of the cancelled statement trails behind
}

TEST_F(SqlemuQueries, ProgressMessagesArriveWhileTheStatementRuns)
{
    ASSERT_TRUE(db.send("EXEC sqlemu_test_progress @seconds = 3"));
    bool ok = false;
    ASSERT_TRUE(db.drain(&ok));
    const auto finished = std::chrono::steady_clock::now();
    std::vector<SeenMessage> progress;
    for (const auto &m : db.messages) {
        if (m.number == 3211)
            progress.push_back(m);
    }
    ASSERT_GE(progress.size(), 10u);
    EXPECT_EQ(progress.back().text.find(" percent processed."), progress.back().text.size() - 19);
    // The first message reached the client long before the three-second
    // statement ended, not in one lump at its end.
    EXPECT_GT(finished - progress.front().at, std::chrono::milliseconds(1000));
}

TEST_F(SqlemuQueries, ANamedInstanceHasItsOwnCatalogue)
{
    DbLibConnection sales;
    ASSERT_TRUE(sales.open(server->address("SALES"), "sa", ""));
    bool ok = false;
    auto sets = sales.execute(kDatabaseList, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(column(sets[0], 0), (std::vector<std::string>{"master", "tempdb", "model", "msdb"}));
}

} // namespace
