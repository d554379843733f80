#include "sql/parser.h"
#include "sql/sql_error.h"

#include "support/tool_batches.h"

#include <gtest/gtest.h>

namespace sqlemu {
namespace {

using namespace sqlemu::test;

// The statement kinds of a batch, by the order of Statement::Body.
std::vector<std::size_t> kinds(const Batch &batch)
{
    std::vector<std::size_t> out;
    for (const auto &s : batch.statements)
        out.push_back(s->body.index());
    return out;
}

template <class T> std::size_t kindOf()
{
    return Statement::Body(T{}).index();
}

ParserOptions withParameters(std::vector<std::string> names)
{
    ParserOptions options;
    options.predeclaredVariables = std::move(names);
    return options;
}

TEST(ParserTest, EveryBatchOfTheToolCompiles)
{
    const auto use = kindOf<UseStatement>(), exec = kindOf<ExecuteStatement>(), select = kindOf<SelectStatement>(),
               declare = kindOf<DeclareStatement>(), set = kindOf<SetVariableStatement>(),
               checkpoint = kindOf<CheckpointStatement>(), backup = kindOf<BackupStatement>(),
               dbcc = kindOf<DbccStatement>(), create = kindOf<CreateDatabaseStatement>(), ifs = kindOf<IfStatement>(),
               drop = kindOf<DropDatabaseStatement>(), restore = kindOf<RestoreStatement>();
    EXPECT_EQ(kinds(parseBatch(kInstanceListBatch)), (std::vector{use, exec}));
    EXPECT_EQ(kinds(parseBatch(kDatabaseListBatch)), (std::vector{select}));
    EXPECT_EQ(kinds(parseBatch(kFilteredDatabaseListBatch)), (std::vector{select}));
    EXPECT_EQ(kinds(parseBatch(kLogShrinkBatch, withParameters({"@P1"}))),
              (std::vector{declare, set, checkpoint, backup, declare, select, set, dbcc}));
    EXPECT_EQ(kinds(parseBatch(kBackupBatch, withParameters({"@P1", "@P2"}))),
              (std::vector{declare, set, set, set, declare, set, backup}));
    EXPECT_EQ(kinds(parseBatch(kAttachBatch)), (std::vector{use, create}));
    EXPECT_EQ(kinds(parseBatch(kDropBatch)), (std::vector{use, ifs, drop}));
    EXPECT_EQ(kinds(parseBatch(kRestoreBatch)), (std::vector{use, restore}));
}

TEST(ParserTest, TheDatabaseStatementsKeepWhatTheirExecutionNeeds)
{
    auto attach = parseBatch(kAttachBatch);
    const auto &create = std::get<CreateDatabaseStatement>(attach.statements[1]->body);
    EXPECT_EQ(create.name, "Tarnel");
    EXPECT_TRUE(create.forAttach);
    ASSERT_EQ(create.dataFiles.size(), 2u);
    EXPECT_EQ(create.dataFiles[0][0].name, "FILENAME");
    EXPECT_EQ(std::get<std::string>(create.dataFiles[0][0].value->literal), "C:\\App\\Data\\Tar'nel.mdf");

    auto restoreBatch = parseBatch(kRestoreBatch);
    const auto &restore = std::get<RestoreStatement>(restoreBatch.statements[1]->body);
    EXPECT_EQ(restore.database.text, "Tarnel");
    ASSERT_EQ(restore.options.size(), 2u);
    EXPECT_EQ(restore.options[1].name, "MOVE");
    EXPECT_EQ(std::get<std::string>(restore.options[1].value->literal), "Data_log");
    EXPECT_EQ(std::get<std::string>(restore.options[1].target->literal), "C:\\App\\Data\\Data_Log.ldf");

    auto dropBatch = parseBatch(kDropBatch);
    const auto &guarded = std::get<IfStatement>(dropBatch.statements[1]->body);
    const auto &alter = std::get<AlterDatabaseStatement>(guarded.then->body);
    EXPECT_EQ(alter.option, "SINGLE_USER");
    EXPECT_EQ(alter.termination, "ROLLBACK IMMEDIATE");

    auto backupBatch = parseBatch(kBackupBatch, withParameters({"@P1", "@P2"}));
    const auto &backup = std::get<BackupStatement>(backupBatch.statements.back()->body);
    EXPECT_TRUE(backup.database.isVariable);
    std::vector<std::string> names;
    for (const auto &o : backup.options)
        names.push_back(o.name);
    EXPECT_EQ(names, (std::vector<std::string>{"NOINIT", "NOUNLOAD", "NAME", "NOSKIP", "STATS", "NOFORMAT"}));
}

TEST(ParserTest, TruncateOnlyExistsOnlyWhereTheServerKnowsIt)
{
    ParserOptions newer = withParameters({"@P1"});
    newer.truncateOnlyAllowed = false;
    try {
        parseBatch(kLogShrinkBatch, newer);
        FAIL() << "accepted";
    } catch (const SqlError &e) {
        ASSERT_EQ(e.messages().size(), 1u);
        EXPECT_EQ(e.messages()[0].number, 155);
        EXPECT_EQ(e.messages()[0].text, "'TRUNCATE_ONLY' is not a recognized BACKUP option.");
        EXPECT_EQ(e.messages()[0].line, 5);
    }
}

TEST(ParserTest, DeepNestingIsRefusedNotOverflowed)
{
    const std::string deep = "select " + std::string(100000, '(') + "1" + std::string(100000, ')');
    try {
        parseBatch(deep);
        FAIL() << "accepted";
    } catch (const SqlError &e) {
        EXPECT_EQ(e.messages().at(0).number, 191);
    }
    const std::string ifs = [] {
        std::string s;
        for (int i = 0; i < 50000; ++i)
            s += "if 1=1 ";
        return s + "select 1";
    }();
    EXPECT_THROW(parseBatch(ifs), SqlError);
    EXPECT_NO_THROW(parseBatch("select " + std::string(50, '(') + "1" + std::string(50, ')')));

    // Operator chains build as deep a tree as parentheses, in a loop the
    // nesting count alone does not see; the bound lies between these two.
    auto chain = [](const std::string &head, const std::string &piece, int terms) {
        std::string s = head;
        for (int i = 0; i < terms; ++i)
            s += piece;
        return s;
    };
    for (const auto &tooLong :
         {chain("select 1", "+1", 1000), chain("select 1 where 1=1", " and 1=1", 1000), chain("select 1", "*-1", 1000),
          chain("select 1", "+abs(1", 499) + std::string(499, ')')}) {
        try {
            parseBatch(tooLong);
            ADD_FAILURE() << "accepted " << tooLong.substr(0, 30);
        } catch (const SqlError &e) {
            EXPECT_EQ(e.messages().at(0).number, 191) << tooLong.substr(0, 30);
        }
    }
    EXPECT_NO_THROW(parseBatch(chain("select 1", "+1", 998)));
}

TEST(ParserTest, SpExecuteSqlParameterListsParse)
{
    const auto list = parseParameterDeclarations("@P1 varchar(50),@P2 nvarchar(max) , @n int OUTPUT");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].type.type, SqlType::VarChar);
    EXPECT_EQ(list[0].type.length, 50);
    EXPECT_EQ(list[1].type.length, -1);
    EXPECT_EQ(list[2].name, "@n");
    EXPECT_FALSE(list[1].output);
    EXPECT_TRUE(list[2].output);
    EXPECT_THROW(parseParameterDeclarations("@P1 varchar(50) junk"), SqlError);
}

} // namespace
} // namespace sqlemu
