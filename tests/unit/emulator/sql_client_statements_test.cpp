// What ordinary clients send on connecting and listing, and the version's
// way of letting a log go, against the engine directly.

#include "sql_engine_fixture.h"
#include "tds/server_version.h"
#include "tds/tokens.h"

#include "support/tds_wire_client.h"
#include "support/tool_batches.h"

#include <gtest/gtest.h>

using namespace sqlemu;
using namespace sqlemu::test;

namespace {

std::vector<std::string> column(const RecordingSink &sink, std::size_t resultSet = 0, std::size_t column = 0)
{
    std::vector<std::string> values;
    for (const auto &row : sink.resultSets.at(resultSet).rows)
        values.push_back(text(row.at(column)));
    return values;
}

std::int64_t integer(const Value &v)
{
    const auto *n = std::get_if<std::int64_t>(&v);
    return n ? *n : -1;
}

std::vector<int> numbers(const RecordingSink &sink)
{
    std::vector<int> out;
    for (const auto &m : sink.messages)
        out.push_back(m.number);
    return out;
}

TEST_F(EngineTest, OrderByTopAndCountAsListingClientsUseThem)
{
    start("16.0", {"zeta", "Alpha", "movan_b", "Movan_A"});
    // Names order as the collation does: letter case does not count.
    auto ordered = run("SELECT name FROM sys.databases WHERE database_id > 4 ORDER BY name");
    ASSERT_EQ(ordered.firstError(), nullptr) << ordered.messages.at(0).text;
    EXPECT_EQ(column(ordered), (std::vector<std::string>{"Alpha", "Movan_A", "movan_b", "zeta"}));

    // Descending by an alias and by position; TOP takes the first rows of
    // the sorted list, not of the table.
    auto top = run("SELECT TOP 2 name AS n, database_id FROM sys.databases ORDER BY n DESC");
    EXPECT_EQ(column(top), (std::vector<std::string>{"zeta", "tempdb"}));
    auto byPosition = run("SELECT name, dbid FROM master.dbo.sysdatabases ORDER BY 2 DESC, 1");
    EXPECT_EQ(column(byPosition).front(), "Movan_A");
    EXPECT_EQ(column(byPosition).back(), "master");

    auto counted = run("SELECT COUNT(*) AS n, COUNT(filename) FROM master.dbo.sysdatabases WHERE name LIKE '%movan%'");
    ASSERT_EQ(counted.firstError(), nullptr) << counted.messages.at(0).text;
    ASSERT_EQ(counted.resultSets.at(0).rows.size(), 1u);
    EXPECT_EQ(integer(counted.resultSets[0].rows[0][0]), 2);
    EXPECT_EQ(integer(counted.resultSets[0].rows[0][1]), 2);
    EXPECT_EQ(counted.resultSets[0].columns[0].name, "n");
    auto none = run("DECLARE @n int SELECT @n = COUNT(*) FROM sys.databases WHERE name = 'nowhere' SELECT @n");
    EXPECT_EQ(integer(none.resultSets.at(0).rows.at(0).at(0)), 0);

    EXPECT_EQ(numbers(run("SELECT name, COUNT(*) FROM sys.databases")), (std::vector<int>{8120}));
    EXPECT_EQ(numbers(run("SELECT name FROM sys.databases ORDER BY 3")), (std::vector<int>{108}));
    // The catalog views live in sys only.
    EXPECT_EQ(numbers(run("SELECT name FROM dbo.databases")), (std::vector<int>{208}));
}

TEST_F(EngineTest, ConnectingClientsGetTheVersionTheServerPlays)
{
    for (const auto &[version, product, banner] :
         {std::tuple{"9.0", "9.00.5000.00", "Microsoft SQL Server 2005 - 9.00.5000.00"},
          std::tuple{"10.50", "10.50.4000.0", "Microsoft SQL Server 2008 R2 (SP2) - 10.50.4000.0"},
          std::tuple{"16.0", "16.0.1000.6", "Microsoft SQL Server 2022 (RTM) - 16.0.1000.6"}}) {
        start(version);
        auto sink = run("set ansi_nulls on\nset quoted_identifier on\nset textsize 2147483647\n"
                        "set transaction isolation level read committed\nset language us_english\n"
                        "SELECT SERVERPROPERTY('ProductVersion'), @@VERSION, "
                        "CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128)), CONVERT(varchar, @@SPID), "
                        "CAST(N'12' AS int) + 1, CAST(@@VERSION AS varchar(9))");
        ASSERT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
        EXPECT_EQ(text(sink.resultSets.at(0).rows.at(0)[0]), product);
        EXPECT_EQ(sink.resultSets[0].columns[0].type, SqlType::SqlVariant) << "as a real server types it";
        EXPECT_EQ(sink.resultSets[0].columns[2].type, SqlType::NVarChar);
        EXPECT_EQ(text(sink.resultSets[0].rows[0][1]).rfind(banner, 0), 0u) << version;
        EXPECT_EQ(text(sink.resultSets[0].rows[0][2]), product);
        EXPECT_EQ(text(sink.resultSets[0].rows[0][3]), "53");
        EXPECT_EQ(integer(sink.resultSets[0].rows[0][4]), 13);
        EXPECT_EQ(text(sink.resultSets[0].rows[0][5]), "Microsoft");
        EXPECT_EQ(sink.resultSets[0].columns[3].maxLength, 30);
        EXPECT_EQ(movan::majorVersionFromBanner(text(sink.resultSets[0].rows[0][1])), std::stoi(std::string(product)));
        // The login acknowledgement, PRELOGIN and the browser tell the same release.
        const auto wire = tds::ServerVersion::fromName(version);
        ASSERT_TRUE(wire.has_value());
        EXPECT_EQ(wire->major, std::stoi(std::string(product)));
        EXPECT_NE(std::string(product).find("." + std::to_string(wire->build) + "."), std::string::npos) << version;
        EXPECT_EQ(wire->browserVersion, product);
    }
}

TEST_F(EngineTest, RecoveryModelIsKeptChangedAndShown)
{
    start("16.0", {"Tarnel"});
    auto models = run("SELECT name, recovery_model_desc FROM sys.databases ORDER BY database_id");
    ASSERT_EQ(models.firstError(), nullptr) << models.messages.at(0).text;
    EXPECT_EQ(column(models, 0, 1), (std::vector<std::string>{"SIMPLE", "SIMPLE", "FULL", "SIMPLE", "FULL"}));

    ASSERT_EQ(run("ALTER DATABASE [Tarnel] SET RECOVERY SIMPLE").firstError(), nullptr);
    // A new engine reads the catalogue again: the change was written down.
    engine.reset();
    engine = createEngine(config);
    EXPECT_EQ(column(run("SELECT recovery_model_desc FROM master.sys.databases WHERE name = N'tarnel'")),
              (std::vector<std::string>{"SIMPLE"}));

    EXPECT_EQ(numbers(run("ALTER DATABASE tempdb SET RECOVERY FULL")), (std::vector<int>{5058, 5069}));
    EXPECT_EQ(numbers(run("ALTER DATABASE Nowhere SET RECOVERY FULL")), (std::vector<int>{5011, 5069}));

    session.currentDatabase = "Tarnel";
    auto files = run("SELECT name, type_desc FROM sys.database_files WHERE type = 1");
    EXPECT_EQ(column(files), (std::vector<std::string>{"Tarnel_log"}));
}

TEST_F(EngineTest, QuotenameMakesAnyNameOneIdentifier)
{
    start("16.0");
    auto sink = run("SELECT QUOTENAME(N'a]b'), QUOTENAME(N'O''Neil', ''''), QUOTENAME(N'x', '('), QUOTENAME(N'"
                    + std::string(129, 'n') + "'), QUOTENAME(N'x', 'q')");
    ASSERT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
    const auto &row = sink.resultSets.at(0).rows.at(0);
    EXPECT_EQ(text(row[0]), "[a]]b]");
    EXPECT_EQ(text(row[1]), "'O''Neil'");
    EXPECT_EQ(text(row[2]), "(x)");
    EXPECT_TRUE(isNull(row[3])) << "more than 128 characters";
    EXPECT_TRUE(isNull(row[4]));
}

// The shrink of SQL Server 2008 and later, as the tool sends it: a database
// the server does not know fails on USE with the server's own error.
TEST_F(EngineTest, RecoveryShrinkOfAnUnknownDatabaseFailsWithTheServersError)
{
    start("16.0", {"Tarnel"});
    auto sink = rpc("sp_executesql",
                    {textParameter("@statement", kRecoveryLogShrinkBatch),
                     textParameter("@params", "@P1 nvarchar(128)"), textParameter("@P1", "Nowhere")});
    EXPECT_EQ(numbers(sink), (std::vector<int>{911}));
    EXPECT_EQ(column(run("SELECT recovery_model_desc FROM sys.databases WHERE name = 'Tarnel'")),
              (std::vector<std::string>{"FULL"}));
}

TEST_F(EngineTest, PrintIsCutWhereARealServerCutsIt)
{
    start("16.0");
    std::string persian;
    for (int i = 0; i < 5000; ++i)
        persian += "ن";
    auto sink = rpc("sp_executesql",
                    {textParameter("@statement", "PRINT @v PRINT @n"),
                     textParameter("@params", "@v varchar(max), @n nvarchar(max)"),
                     textParameter("@v", std::string(9000, 'v'), SqlType::VarChar), textParameter("@n", persian)});
    ASSERT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, std::string(8000, 'v'));
    EXPECT_EQ(sink.messages[1].text, persian.substr(0, 4000 * 2)) << "4,000 letters of two bytes each";
}

TEST_F(EngineTest, WhatTheEmulatorDoesNotRunIsRefusedAsARealServerRefusesIt)
{
    start("16.0", {"Tarnel"});
    for (const char *batch :
         {"BEGIN DISTRIBUTED TRANSACTION", "INSERT INTO t VALUES (1)", "SELECT name FROM sys.databases GROUP BY name",
          "BACKUP DATABASE Tarnel TO DISK = 'x.bak' WITH INIT", "DBCC CHECKDB"}) {
        auto sink = run(batch);
        ASSERT_NE(sink.firstError(), nullptr) << batch;
        EXPECT_EQ(sink.firstError()->number, 40517) << batch;
        EXPECT_EQ(sink.firstError()->text.find("sqlemu"), std::string::npos) << sink.firstError()->text;
        EXPECT_NE(sink.firstError()->text.find("is not supported in this version of SQL Server."), std::string::npos);
    }
}

// Message texts never overflow the token's 16-bit length, and a long error
// ends as a real server ends it.
TEST(TdsMessageToken, LengthNeverWrapsAndLongTextsAreCut)
{
    for (const auto &[number, units, expectedUnits] :
         {std::tuple{0, 70000u, 0u}, std::tuple{0, 4000u, 4000u}, std::tuple{3201, 5000u, 2047u},
          std::tuple{3201, 2047u, 2047u}}) {
        ServerMessage message = makeServerMessage(number, number ? 16 : 0, 1, std::string(units, 'x'));
        message.procedure = "sp_executesql";
        tds::ByteWriter out;
        tds::writeMessage(out, tds::WireFormat{}, message, "HOST\\INSTANCE");
        const Bytes &bytes = out.data();
        const std::size_t declared = bytes[1] | (bytes[2] << 8);
        EXPECT_EQ(declared, bytes.size() - 3) << units;
        const std::size_t textUnits = bytes[9] | (bytes[10] << 8);
        if (expectedUnits)
            EXPECT_EQ(textUnits, expectedUnits) << units;
        else
            EXPECT_LE(bytes.size() - 3, 0xFFFFu);
        if (number && units > 2047) {
            const std::string wire = tds::messageTextOnTheWire(message, 13, 13);
            EXPECT_EQ(wire, std::string(2044, 'x') + "...");
        }
    }
}

} // namespace
