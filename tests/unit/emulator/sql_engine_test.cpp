#include "sql/token_budget.h"
#include "sql_engine_fixture.h"

#include "support/tool_batches.h"

#include <thread>

namespace sqlemu {
namespace {

using namespace sqlemu::test;

std::vector<std::string> names(const ResultSet &set)
{
    std::vector<std::string> out;
    for (const auto &row : set.rows)
        out.push_back(text(row[0]));
    return out;
}

TEST_F(EngineTest, DatabaseListShowsEveryDatabaseInDbidOrderWithRealColumnTypes)
{
    start("9.0", {"Tarnel", "Other"});
    auto sink = run(kDatabaseListBatch);
    ASSERT_EQ(sink.resultSets.size(), 1u);
    const auto &set = sink.resultSets[0];
    ASSERT_EQ(set.columns.size(), 2u);
    EXPECT_EQ(set.columns[0].name, "name");
    EXPECT_EQ(set.columns[0].type, SqlType::NVarChar);
    EXPECT_EQ(set.columns[0].maxLength, 128);
    EXPECT_EQ(set.columns[1].name, "filename");
    EXPECT_EQ(set.columns[1].type, SqlType::NVarChar);
    EXPECT_EQ(set.columns[1].maxLength, 260);
    EXPECT_EQ(names(set), (std::vector<std::string>{"master", "tempdb", "model", "msdb", "Tarnel", "Other"}));
    EXPECT_EQ(text(set.rows[4][1]), (folder.path() / "Tarnel.mdf").string());
    EXPECT_EQ(text(set.rows[0][1]), config.dataDir + "/master.mdf");
    ASSERT_EQ(sink.dones.size(), 1u);
    EXPECT_EQ(sink.dones[0].curCmd, 0xC1);
    EXPECT_EQ(sink.dones[0].rowCount, 6u);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(EngineTest, TheFilterConditionSelectsByNameIgnoringCase)
{
    start("9.0", {"QelnatSales", "myqelnat", "Old_MOVAN_2", "tarnel", "Tarnel2", "Other"});
    auto sink = run(kFilteredDatabaseListBatch);
    ASSERT_EQ(sink.resultSets.size(), 1u);
    EXPECT_EQ(names(sink.resultSets[0]), (std::vector<std::string>{"QelnatSales", "Old_MOVAN_2", "tarnel", "Tarnel2"}));
}

TEST_F(EngineTest, WhereClausesFollowSqlLogic)
{
    start("9.0", {"Tarnel"});
    const struct {
        const char *where;
        std::vector<std::string> names;
    } cases[] = {
        {"name = N'TARNEL'", {"Tarnel"}},
        {"name = 'tarnel   '", {"Tarnel"}},
        {"name <> 'Tarnel' AND NOT (name LIKE 'm%')", {"tempdb"}},
        {"dbid = 2 OR (dbid > 3 AND name NOT LIKE 'T%')", {"tempdb", "msdb"}},
        {"1=0", {}},
        {"filename IS NULL", {}},
        {"name like 'm_ster'", {"master"}},
        {"dbid = '3'", {"model"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.where);
        auto sink = run(std::string("select name from master..sysdatabases where ") + c.where);
        ASSERT_EQ(sink.resultSets.size(), 1u) << (sink.messages.empty() ? "" : sink.messages[0].text);
        EXPECT_EQ(names(sink.resultSets[0]), c.names);
    }
}

TEST_F(EngineTest, SelectStarGivesTheWholeSysdatabasesRow)
{
    start();
    auto sink = run("SELECT * FROM sysdatabases WHERE dbid = 1");
    ASSERT_EQ(sink.resultSets.size(), 1u);
    std::vector<std::string> columns;
    for (const auto &c : sink.resultSets[0].columns)
        columns.push_back(c.name);
    EXPECT_EQ(columns,
              (std::vector<std::string>{"name", "dbid", "sid", "mode", "status", "status2", "crdate", "reserved",
                                        "category", "cmptlevel", "filename", "version"}));
    ASSERT_EQ(sink.resultSets[0].rows.size(), 1u);
    EXPECT_EQ(integer(sink.resultSets[0].rows[0][9]), 90);
    EXPECT_EQ(integer(sink.resultSets[0].rows[0][11]), 611);
}

TEST_F(EngineTest, InstanceListReturnsOneRowPerInstanceWithTheNameInTheSecondColumn)
{
    config.installedInstances = {"MSSQLSERVER", "SALES"};
    start();
    auto sink = run(kInstanceListBatch);
    ASSERT_TRUE(sink.firstError() == nullptr);
    ASSERT_EQ(sink.resultSets.size(), 1u);
    const auto &set = sink.resultSets[0];
    ASSERT_EQ(set.columns.size(), 3u);
    EXPECT_EQ(set.columns[0].name, "Value");
    EXPECT_EQ(set.columns[1].name, "Value");
    EXPECT_EQ(set.columns[2].name, "Data");
    ASSERT_EQ(set.rows.size(), 2u);
    EXPECT_EQ(text(set.rows[0][1]), "MSSQLSERVER");
    EXPECT_EQ(text(set.rows[1][1]), "SALES");
    // USE, then the procedure: its result's DONEINPROC, status, DONEPROC.
    ASSERT_EQ(sink.dones.size(), 3u);
    EXPECT_EQ(sink.dones[1].kind, DoneKind::InProcedure);
    EXPECT_EQ(sink.dones[1].rowCount, 2u);
    EXPECT_EQ(sink.dones[2].kind, DoneKind::ProcedureEnd);
    EXPECT_EQ(sink.returnStatuses, (std::vector<std::int32_t>{0}));
}

TEST_F(EngineTest, OtherRegistryKeysGiveTheServersInformationalMessage)
{
    start();
    auto sink = run("EXEC xp_regread 'HKEY_LOCAL_MACHINE', 'SOFTWARE\\Nothing\\Here', 'X'");
    EXPECT_TRUE(sink.resultSets.empty());
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].number, 22001);
    EXPECT_EQ(sink.messages[0].severity, 1);
    EXPECT_EQ(sink.messages[0].text, "RegOpenKeyEx() returned error 2, 'The system cannot find the file specified.'");
    EXPECT_FALSE(sink.messages[0].isError());
}

TEST_F(EngineTest, UseChangesTheDatabaseWithTheServersMessages)
{
    start("9.0", {"Tarnel"});
    auto sink = run("\n\nUSE [TARNEL]");
    EXPECT_EQ(session.currentDatabase, "Tarnel");
    ASSERT_EQ(sink.events.size(), 3u);
    EXPECT_EQ(sink.events[0].kind, RecordingSink::Event::Kind::DatabaseChanged);
    EXPECT_EQ(sink.events[0].text, "Tarnel");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].number, 5701);
    EXPECT_EQ(sink.messages[0].severity, 0);
    EXPECT_EQ(sink.messages[0].state, 1);
    EXPECT_EQ(sink.messages[0].text, "Changed database context to 'Tarnel'.");
    EXPECT_EQ(sink.messages[0].line, 3);
}

TEST_F(EngineTest, UnknownDatabaseTextDependsOnTheServerVersion)
{
    const struct {
        const char *version;
        const char *text;
    } cases[] = {
        {"9.0",
         "Could not locate entry in sysdatabases for database 'Nowhere'. No entry found with that name. "
         "Make sure that the name is entered correctly."},
        {"10.50", "Database 'Nowhere' does not exist. Make sure that the name is entered correctly."},
        {"16.0", "Database 'Nowhere' does not exist. Make sure that the name is entered correctly."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version);
        start(c.version);
        auto sink = run("USE Nowhere\nselect 1");
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0].number, 911);
        EXPECT_EQ(sink.messages[0].severity, 16);
        EXPECT_EQ(sink.messages[0].state, 1);
        EXPECT_EQ(sink.messages[0].text, c.text);
        EXPECT_TRUE(sink.resultSets.empty());
        EXPECT_EQ(session.currentDatabase, "master");
        ASSERT_TRUE(engine->loginDatabaseRefusal("Nowhere"));
        EXPECT_EQ(engine->loginDatabaseRefusal("Nowhere")->number, 4060);
        EXPECT_FALSE(engine->loginDatabaseRefusal("MSDB"));
    }
}

TEST_F(EngineTest, RefusalsAreTheServersErrors)
{
    start("16.0");
    const struct {
        const char *batch;
        int number, severity, state;
        const char *text;
    } cases[] = {
        {"select * from nosuch", 208, 16, 1, "Invalid object name 'nosuch'."},
        {"select * from master.dbo.[no such]", 208, 16, 1, "Invalid object name 'master.dbo.no such'."},
        {"select * from nodb.dbo.sysdatabases", 208, 16, 1, "Invalid object name 'nodb.dbo.sysdatabases'."},
        {"exec sp_nothing", 2812, 16, 62, "Could not find stored procedure 'sp_nothing'."},
        {"selec name", 2812, 16, 62, "Could not find stored procedure 'selec'."},
        {"selec name from sysdatabases", 156, 15, 1, "Incorrect syntax near the keyword 'from'."},
        {"exec sqlemu_test_progress @seconds = 1", 2812, 16, 62,
         "Could not find stored procedure 'sqlemu_test_progress'."},
        {"select @x", 137, 15, 2, "Must declare the scalar variable \"@x\"."},
        {"select @@nothing", 137, 15, 2, "Must declare the scalar variable \"@@nothing\"."},
        {"declare @a int declare @A int", 134, 15, 1,
         "The variable name '@A' has already been declared. Variable names must be unique within a query batch or "
         "stored procedure."},
        {"select foo(1)", 195, 15, 10, "'foo' is not a recognized built-in function name."},
        {"select ltrim()", 174, 15, 1, "The ltrim function requires 1 argument(s)."},
        {"select nme from sysdatabases", 207, 16, 1, "Invalid column name 'nme'."},
        {"select name", 207, 16, 1, "Invalid column name 'name'."},
        {"SET FOO ON", 195, 15, 1, "'FOO' is not a recognized SET option."},
        {"waitfor delay 'soon'", 148, 15, 1, "Incorrect time syntax in time string 'soon' used with WAITFOR."},
        {"BACKUP LOG master WITH TRUNCATE_ONLY", 155, 15, 1, "'TRUNCATE_ONLY' is not a recognized BACKUP option."},
        {"use master\nGO", 102, 15, 1, "Incorrect syntax near 'GO'."},
        {"select name from sysdatabases where", 156, 15, 1, "Incorrect syntax near the keyword 'where'."},
        {"select name from sysdatabases where name = 'x' or", 156, 15, 1, "Incorrect syntax near the keyword 'or'."},
        {"select name from sysdatabases where name", 102, 15, 1, "Incorrect syntax near 'name'."},
        {"select 1 from", 156, 15, 1, "Incorrect syntax near the keyword 'from'."},
        {"select 'a' 'b' 'c'", 102, 15, 1, "Incorrect syntax near 'c'."},
        {"USE", 156, 15, 1, "Incorrect syntax near the keyword 'USE'."},
        {"select 1 = 1", 102, 15, 1, "Incorrect syntax near '='."},
        {"select 1/0", 8134, 16, 1, "Divide by zero error encountered."},
        {"declare @i int set @i = 'abc'", 245, 16, 1,
         "Conversion failed when converting the varchar value 'abc' to data type int."},
        {"declare @t tinyint set @t = 300", 220, 16, 1,
         "Arithmetic overflow error for data type tinyint, value = 300."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.batch);
        auto sink = run(c.batch);
        const ServerMessage *error = sink.firstError();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->number, c.number);
        EXPECT_EQ(error->severity, c.severity);
        EXPECT_EQ(error->state, c.state);
        EXPECT_EQ(error->text, c.text);
        ASSERT_FALSE(sink.dones.empty());
        EXPECT_TRUE(sink.dones.back().error);
    }
}

TEST_F(EngineTest, CompileErrorsStopTheBatchBeforeAnythingRuns)
{
    start("9.0", {"Tarnel"});
    auto sink = run("USE Tarnel\nselect 1\nselect * from");
    EXPECT_TRUE(sink.resultSets.empty());
    EXPECT_EQ(session.currentDatabase, "master");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].line, 3);
}

TEST_F(EngineTest, AMissingObjectEndsTheBatchButAMissingProcedureOnlyItsStatement)
{
    start();
    auto objects = run("select 1\nselect * from nosuch\nselect 2");
    EXPECT_EQ(objects.resultSets.size(), 1u);
    EXPECT_EQ(objects.messages.at(0).line, 2);

    auto procedures = run("exec nosuch\nselect 2");
    EXPECT_EQ(procedures.resultSets.size(), 1u);
    EXPECT_EQ(procedures.messages.at(0).number, 2812);
}

TEST_F(EngineTest, ClientProbesAnswerAsTheServerPlayed)
{
    start("9.0", {"Tarnel"});
    auto sink = run("select @@version\nSELECT @@SPID spid, @@SERVERNAME AS server, SERVERPROPERTY('ProductVersion'),"
                    " DB_ID('tarnel'), DB_ID(N'none'), DB_NAME(1), db_name()");
    ASSERT_EQ(sink.resultSets.size(), 2u);
    EXPECT_EQ(text(sink.resultSets[0].rows[0][0]).rfind("Microsoft SQL Server 2005 - 9.00.5000.00", 0), 0u);
    const auto &probe = sink.resultSets[1];
    EXPECT_EQ(probe.columns[0].name, "spid");
    EXPECT_EQ(probe.columns[0].type, SqlType::SmallInt);
    EXPECT_EQ(probe.columns[1].name, "server");
    EXPECT_EQ(probe.columns[2].name, "");
    const auto &row = probe.rows.at(0);
    EXPECT_EQ(integer(row[0]), 53);
    EXPECT_EQ(text(row[1]), "HOST1");
    EXPECT_EQ(text(row[2]), "9.00.5000.00");
    EXPECT_EQ(integer(row[3]), 5);
    EXPECT_TRUE(isNull(row[4]));
    EXPECT_EQ(text(row[5]), "master");
    EXPECT_EQ(text(row[6]), "master");
}

TEST_F(EngineTest, LoginSetBatchIsAccepted)
{
    start();
    auto sink = run("set ansi_nulls on\nset ansi_null_dflt_on on\nset ansi_padding on\nset ansi_warnings on\n"
                    "set arithabort on\nset concat_null_yields_null on\nset datefirst 7\nset dateformat mdy\n"
                    "set implicit_transactions off\nset language us_english\nset numeric_roundabort off\n"
                    "set quoted_identifier on\nset textsize 2147483647\n"
                    "set transaction isolation level read committed\nset xact_abort off");
    EXPECT_EQ(sink.firstError(), nullptr);
    EXPECT_EQ(sink.dones.size(), 15u);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].number, 5703);
    EXPECT_EQ(sink.messages[0].text, "Changed language setting to us_english.");
}

TEST_F(EngineTest, RowCountAndErrorFollowTheLastStatement)
{
    start();
    auto sink = run("select name from sysdatabases where dbid < 3\nselect @@ROWCOUNT, @@ERROR");
    ASSERT_EQ(sink.resultSets.size(), 2u);
    EXPECT_EQ(integer(sink.resultSets[1].rows.at(0)[0]), 2);
    auto afterError = run("exec nosuch\nselect @@ERROR");
    EXPECT_EQ(integer(afterError.resultSets.at(0).rows.at(0)[0]), 2812);
}

TEST_F(EngineTest, DeclareWithAValueNeedsSqlServer2008)
{
    start("9.0");
    auto old = run("declare @v int = 1");
    ASSERT_NE(old.firstError(), nullptr);
    EXPECT_EQ(old.firstError()->number, 139);
    EXPECT_EQ(old.firstError()->text, "Cannot assign a default value to a local variable.");
    start("10.50");
    auto newer = run("declare @v int = 41 select @v + 1");
    EXPECT_EQ(integer(newer.resultSets.at(0).rows.at(0)[0]), 42);
}

TEST_F(EngineTest, SessionOptionsChangeWhatLaterStatementsDo)
{
    start();
    const struct {
        const char *setting;
        const char *query;
        std::size_t rows;
    } cases[] = {
        {"SET ROWCOUNT 2", "select name from sysdatabases", 2},
        {"SET ROWCOUNT 0", "select name from sysdatabases", 4},
        {"SET ANSI_NULLS OFF", "select 1 where NULL = NULL", 1},
        {"SET ANSI_NULLS ON", "select 1 where NULL = NULL", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(run(c.setting).firstError(), nullptr);
        auto sink = run(c.query);
        ASSERT_EQ(sink.resultSets.size(), 1u);
        EXPECT_EQ(sink.resultSets[0].rows.size(), c.rows);
    }
    run("SET CONCAT_NULL_YIELDS_NULL OFF");
    EXPECT_EQ(text(run("select 'a' + NULL").resultSets.at(0).rows.at(0)[0]), "a");

    run("SET XACT_ABORT ON");
    auto aborted = run("exec nosuch\nselect 1");
    EXPECT_TRUE(aborted.resultSets.empty());
}

TEST_F(EngineTest, NocountDropsRowCountsForTheSession)
{
    start();
    run("SET NOCOUNT ON");
    auto sink = run("select name from sysdatabases");
    EXPECT_EQ(sink.resultSets.at(0).rows.size(), 4u);
    EXPECT_FALSE(sink.dones.back().rowCount.has_value());
    engine->sessionClosed(session);
    EXPECT_TRUE(run("select 1").dones.back().rowCount.has_value());
}

TEST_F(EngineTest, BackupParametersAreCleanedAsTheBatchSays)
{
    start();
    // The tool's backup batch up to its BACKUP statement, which the next
    // lines stand in for to show what it would receive.
    std::string batch = kBackupBatch;
    batch = batch.substr(0, batch.find("BACKUP DATABASE")) + "SELECT @Ar_DataBase, @path";
    const std::string longPath = "/backups/" + std::string(250, 'p') + ".Bak";
    auto sink
        = rpc("sp_executesql",
              {textParameter("@statement", batch), textParameter("@params", "@P1 nvarchar(128),@P2 nvarchar(4000)"),
               textParameter("@P1", "  Tar'ne''l  "), textParameter("@P2", longPath)});
    ASSERT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
    ASSERT_EQ(sink.resultSets.size(), 1u);
    const auto &row = sink.resultSets[0].rows.at(0);
    // Only the blanks around the name go: a quote in it is part of the name.
    EXPECT_EQ(text(row[0]), "Tar'ne''l");
    // The path arrives whole: a backup is written where it was asked for.
    EXPECT_EQ(text(row[1]), longPath);
    EXPECT_EQ(sink.resultSets[0].columns[1].type, SqlType::NVarChar);
    EXPECT_EQ(sink.returnStatuses, (std::vector<std::int32_t>{0}));
    for (const auto &done : sink.dones)
        EXPECT_EQ(done.kind, DoneKind::Statement);
}

TEST_F(EngineTest, LogShrinkFindsTheLogFileOfTheCurrentDatabase)
{
    start("9.0", {"Tarnel"});
    session.currentDatabase = "Tarnel";
    std::string batch = test::kLogShrinkBatch;
    batch = batch.substr(0, batch.find("DBCC")) + "SELECT @LogName";
    // The fixture's databases have no files to truncate; the truncate itself
    // is tested on real files beside the other statements on databases.
    std::string findLog = batch;
    const auto truncate = findLog.find("BACKUP LOG");
    findLog.erase(truncate, findLog.find('\n', truncate) + 1 - truncate);
    auto sink = rpc("sp_executesql",
                    {textParameter("@statement", findLog), textParameter("@params", "@P1 varchar(50)"),
                     textParameter("@P1", "Tarnel", SqlType::VarChar)});
    ASSERT_EQ(sink.firstError(), nullptr) << sink.messages.at(0).text;
    ASSERT_EQ(sink.resultSets.size(), 1u);
    EXPECT_EQ(text(sink.resultSets[0].rows.at(0)[0]), "Tarnel_log");

    auto unknown = rpc("sp_executesql",
                       {textParameter("@statement", batch), textParameter("@params", "@P1 varchar(50)"),
                        textParameter("@P1", "Nowhere", SqlType::VarChar)});
    std::vector<int> numbers;
    for (const auto &m : unknown.messages)
        numbers.push_back(m.number);
    EXPECT_EQ(numbers, (std::vector<int>{911, 3013}));
    EXPECT_EQ(unknown.messages[0].state, 10);
    EXPECT_EQ(unknown.messages[1].text, "BACKUP LOG is terminating abnormally.");
}

TEST_F(EngineTest, VarcharKeepsWhatTheArabicCodePageHolds)
{
    start();
    auto sink = run("declare @v varchar(20) set @v = N'تارنل ي ك 中' select @v, LEN(@v)");
    ASSERT_EQ(sink.resultSets.size(), 1u);
    EXPECT_EQ(text(sink.resultSets[0].rows.at(0)[0]), "تارنل ي ك ?");
    auto unicode = run("declare @v nvarchar(20) set @v = N'中' select @v");
    EXPECT_EQ(text(unicode.resultSets.at(0).rows.at(0)[0]), "中");
}

TEST_F(EngineTest, UseInsideSpExecuteSqlLastsOnlyForTheCall)
{
    start("9.0", {"Tarnel"});
    auto sink = rpc("sp_executesql", {textParameter("@statement", "USE Tarnel\nselect db_name()")});
    ASSERT_EQ(sink.resultSets.size(), 1u);
    EXPECT_EQ(text(sink.resultSets[0].rows.at(0)[0]), "Tarnel");
    EXPECT_EQ(session.currentDatabase, "master");
    EXPECT_EQ(sink.messages.at(0).number, 5701);
    EXPECT_EQ(sink.messages.at(0).line, 1);
    std::vector<std::string> changes;
    for (const auto &e : sink.events)
        if (e.kind == RecordingSink::Event::Kind::DatabaseChanged)
            changes.push_back(e.text);
    EXPECT_EQ(changes, (std::vector<std::string>{"Tarnel", "master"}));
}

TEST_F(EngineTest, SpExecuteSqlChecksItsParameters)
{
    start();
    auto missing = rpc("sp_executesql", {textParameter("@statement", "select @a"), textParameter("@params", "@a int")});
    ASSERT_NE(missing.firstError(), nullptr);
    EXPECT_EQ(missing.firstError()->number, 8178);
    EXPECT_EQ(missing.firstError()->text,
              "The parameterized query '(@a int)select @a' expects the parameter '@a', which was not supplied.");

    RpcParameter number;
    number.name = "@a";
    number.type = SqlType::Int;
    number.value = std::int64_t{41};
    auto bound
        = rpc("sp_executesql",
              {textParameter("@statement", "select @a + 1 AS answer"), textParameter("@params", "@a int"), number});
    ASSERT_EQ(bound.resultSets.size(), 1u);
    EXPECT_EQ(integer(bound.resultSets[0].rows.at(0)[0]), 42);

    auto nested = run("EXEC sp_executesql N'select @v', N'@v nvarchar(10)', @v = N'inner'");
    ASSERT_EQ(nested.resultSets.size(), 1u);
    EXPECT_EQ(text(nested.resultSets[0].rows.at(0)[0]), "inner");

    auto varcharStatement = rpc("sp_executesql", {textParameter("@statement", "select 1", SqlType::VarChar)});
    ASSERT_NE(varcharStatement.firstError(), nullptr);
    EXPECT_EQ(varcharStatement.firstError()->number, 214);
    EXPECT_EQ(varcharStatement.firstError()->text,
              "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.");
    EXPECT_TRUE(varcharStatement.resultSets.empty());

    auto unknownProc = rpc("sp_nothing", {});
    EXPECT_EQ(unknownProc.firstError()->number, 2812);
}

TEST_F(EngineTest, WaitforStopsAtOnceWhenCancelled)
{
    start();
    RecordingSink sink;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sink.cancel = true;
    });
    const auto begun = std::chrono::steady_clock::now();
    engine->executeBatch(session, "WAITFOR DELAY '00:01:00'\nselect 1", sink);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(30));
    EXPECT_TRUE(sink.resultSets.empty());
    EXPECT_TRUE(sink.dones.empty());

    auto shortWait = run("waitfor delay '00:00:00.050' select 1");
    EXPECT_EQ(shortWait.resultSets.size(), 1u);
}

TEST_F(EngineTest, TestProgressSendsFlushedMessagesUpToOneHundredPercent)
{
    config.testStatements = true;
    start();
    auto sink = run("EXEC sqlemu_test_progress @seconds = 1");
    std::vector<std::string> texts;
    for (const auto &m : sink.messages) {
        EXPECT_EQ(m.number, 3211);
        EXPECT_EQ(m.severity, 0);
        EXPECT_EQ(m.state, 1);
        texts.push_back(m.text);
    }
    ASSERT_EQ(texts.size(), 10u);
    EXPECT_EQ(texts.front(), "10 percent processed.");
    EXPECT_EQ(texts.back(), "100 percent processed.");
    EXPECT_EQ(sink.flushes, 10);
    for (std::size_t i = 0; i + 1 < sink.events.size(); ++i) {
        if (sink.events[i].kind == RecordingSink::Event::Kind::Message) {
            EXPECT_EQ(sink.events[i + 1].kind, RecordingSink::Event::Kind::Flush);
        }
    }
    EXPECT_EQ(sink.returnStatuses, (std::vector<std::int32_t>{0}));
}

TEST_F(EngineTest, BackupOfAnUnknownDatabaseEndsAbnormally)
{
    start();
    auto sink = run("BACKUP DATABASE Nowhere TO DISK = N'/tmp/x.bak' WITH NOINIT, NAME = N'My Backup', STATS = 10");
    std::vector<int> numbers, states;
    for (const auto &m : sink.messages) {
        numbers.push_back(m.number);
        states.push_back(m.state);
    }
    EXPECT_EQ(numbers, (std::vector<int>{911, 3013}));
    EXPECT_EQ(states, (std::vector<int>{11, 1}));
    EXPECT_EQ(sink.messages.at(1).text, "BACKUP DATABASE is terminating abnormally.");
    EXPECT_TRUE(sink.dones.at(0).error);
}

} // namespace
} // namespace sqlemu

namespace sqlemu {
namespace {

TEST_F(EngineTest, ABatchOfMoreTokensThanItsBudgetIsRefusedWith701BeforeAnythingRuns)
{
    MemoryBudget memory(std::size_t{64} << 20);
    config.memory = &memory;
    start();
    // A million and one `;` after a statement that would otherwise run.
    auto sink = run("USE tempdb" + std::string(TokenBudget::kMaxTokens + 1, ';'));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].number, 701);
    EXPECT_EQ(sink.messages[0].severity, 17);
    EXPECT_EQ(session.currentDatabase, "master");
    EXPECT_EQ(memory.used(), 0u);

    // The server's budget binds too, through sp_executesql as well.
    MemoryBudget small(TokenBudget::kBytesPerToken * 10000);
    config.memory = &small;
    engine.reset();
    engine = createEngine(config);
    EXPECT_EQ(run("USE tempdb" + std::string(20000, ';')).messages.at(0).number, 701);
    auto rpcSink = rpc("sp_executesql", {textParameter("@statement", "USE tempdb" + std::string(20000, ';'))});
    ASSERT_FALSE(rpcSink.messages.empty());
    EXPECT_EQ(rpcSink.messages[0].number, 701);
    EXPECT_EQ(session.currentDatabase, "master");
    EXPECT_EQ(run("USE tempdb" + std::string(5000, ';')).firstError(), nullptr);
    EXPECT_EQ(session.currentDatabase, "tempdb");
    EXPECT_EQ(small.used(), 0u);
}

} // namespace
} // namespace sqlemu
