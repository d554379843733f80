// User transactions in the interpreter: the count clients read, the
// descriptors they are told, and the statements a real server refuses
// inside one, refused with its errors and leaving everything as it was.

#include "sql_engine_fixture.h"
#include "storage/database_file.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace sqlemu {
namespace {

using test::EngineTest;
using test::RecordingSink;
namespace fs = std::filesystem;

class TransactionsTest : public EngineTest {
protected:
    void SetUp() override
    {
        start("9.0", {"Tarnel"});
        ASSERT_EQ(run("BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'").firstError(), nullptr);
    }

    std::string media() const { return (folder.path() / "Tarnel.Bak").string(); }

    // @@TRANCOUNT as the session sees it now.
    std::int64_t tranCount()
    {
        auto sink = run("SELECT @@TRANCOUNT");
        return std::get<std::int64_t>(sink.resultSets.at(0).rows.at(0).at(0));
    }

    static std::vector<int> numbers(const RecordingSink &sink)
    {
        std::vector<int> out;
        for (const auto &m : sink.messages)
            out.push_back(m.number);
        return out;
    }
};

TEST_F(TransactionsTest, StatementsARealServerRefusesInsideATransactionChangeNothing)
{
    const std::string moved = (folder.path() / "moved").string();
    struct Case {
        std::string statement;
        std::vector<int> numbers;
        std::string last; // the text of the last message
    };
    const Case cases[] = {
        {"DROP DATABASE Tarnel", {574}, "DROP DATABASE statement cannot be used inside a user transaction."},
        {"BACKUP DATABASE Tarnel TO DISK = N'" + media() + "'",
         {3021, 3013},
         "BACKUP DATABASE is terminating abnormally."},
        {"BACKUP LOG Tarnel WITH TRUNCATE_ONLY", {3021, 3013}, "BACKUP LOG is terminating abnormally."},
        {"RESTORE DATABASE Tarnel FROM DISK = N'" + media() + "' WITH REPLACE",
         {3021, 3013},
         "RESTORE DATABASE is terminating abnormally."},
        {"RESTORE HEADERONLY FROM DISK = N'" + media() + "'",
         {3021, 3013},
         "RESTORE HEADERONLY is terminating abnormally."},
        {"RESTORE FILELISTONLY FROM DISK = N'" + media() + "'",
         {3021, 3013},
         "RESTORE FILELIST is terminating abnormally."},
        {"RESTORE VERIFYONLY FROM DISK = N'" + media() + "'",
         {3021, 3013},
         "VERIFY DATABASE is terminating abnormally."},
        {"ALTER DATABASE Tarnel SET OFFLINE",
         {226},
         "ALTER DATABASE statement not allowed within multi-statement transaction."},
        {"CREATE DATABASE Other ON (FILENAME = N'" + moved + ".mdf'), (FILENAME = N'" + moved + ".ldf') FOR ATTACH",
         {226},
         "CREATE DATABASE statement not allowed within multi-statement transaction."},
    };
    const auto mediaSize = fs::file_size(media());
    ASSERT_EQ(run("BEGIN TRANSACTION").firstError(), nullptr);
    for (const Case &c : cases) {
        auto sink = run(c.statement);
        EXPECT_EQ(numbers(sink), c.numbers) << c.statement;
        ASSERT_FALSE(sink.messages.empty());
        EXPECT_EQ(sink.messages.back().text, c.last);
        EXPECT_EQ(sink.messages.front().severity, 16);
        EXPECT_EQ(tranCount(), 1) << c.statement << ": the transaction stays open";
    }
    EXPECT_EQ(fs::file_size(media()), mediaSize);
    auto state = run("SELECT state_desc FROM sys.databases WHERE name = N'Tarnel'");
    EXPECT_EQ(std::get<std::string>(state.resultSets.at(0).rows.at(0).at(0)), "ONLINE");
    EXPECT_TRUE(fs::exists(folder.path() / "Tarnel.mdf"));

    ASSERT_EQ(run("ROLLBACK").firstError(), nullptr);
    EXPECT_EQ(run("DROP DATABASE Tarnel").firstError(), nullptr) << "outside a transaction it runs";
    EXPECT_FALSE(fs::exists(folder.path() / "Tarnel.mdf"));
}

TEST_F(TransactionsTest, TheCountNestsAndOnlyTheOutermostTransactionIsAnnounced)
{
    auto sink = run("BEGIN TRAN BEGIN TRANSACTION SELECT @@TRANCOUNT COMMIT SELECT @@TRANCOUNT");
    ASSERT_EQ(sink.firstError(), nullptr);
    EXPECT_EQ(std::get<std::int64_t>(sink.resultSets.at(0).rows.at(0).at(0)), 2);
    EXPECT_EQ(std::get<std::int64_t>(sink.resultSets.at(1).rows.at(0).at(0)), 1);
    ASSERT_EQ(sink.transactions.size(), 1u);
    EXPECT_EQ(sink.transactions[0].first, TransactionChange::Began);
    const std::uint64_t first = sink.transactions[0].second;
    EXPECT_NE(first, 0u);
    EXPECT_EQ(tranCount(), 1) << "the transaction outlives its batch";

    auto end = run("COMMIT WORK");
    ASSERT_EQ(end.transactions.size(), 1u);
    EXPECT_EQ(end.transactions[0], std::make_pair(TransactionChange::Committed, first));
    EXPECT_EQ(tranCount(), 0);

    auto again = run("BEGIN TRAN ROLLBACK TRAN");
    ASSERT_EQ(again.transactions.size(), 2u);
    EXPECT_NE(again.transactions[0].second, first) << "a new transaction has a new descriptor";
    EXPECT_EQ(again.transactions[1].first, TransactionChange::RolledBack);
}

TEST_F(TransactionsTest, WrongEndsAreRefusedWithTheRealServersErrors)
{
    struct Case {
        const char *batch;
        int error;
        std::int64_t countAfter;
    };
    const Case cases[] = {
        {"COMMIT", 3902, 0},
        {"COMMIT TRANSACTION", 3902, 0},
        {"ROLLBACK", 3903, 0},
        {"SAVE TRANSACTION s1", 628, 0},
        // Names compare exactly, whatever the collation.
        {"BEGIN TRAN Outer1 ROLLBACK TRAN outer1", 6401, 1},
        {"BEGIN TRAN t SAVE TRAN s ROLLBACK TRAN s", 0, 1},
        {"BEGIN TRAN t SAVE TRAN s ROLLBACK TRAN t", 0, 0},
        {"DECLARE @n varchar(10) SET @n = 'named' BEGIN TRAN @n ROLLBACK TRAN named", 0, 0},
    };
    for (const Case &c : cases) {
        auto sink = run(c.batch);
        EXPECT_EQ(sink.firstError() ? sink.firstError()->number : 0, c.error) << c.batch;
        EXPECT_EQ(tranCount(), c.countAfter) << c.batch;
        session.transaction = {};
    }
    auto refused = run("COMMIT");
    EXPECT_EQ(refused.firstError()->text, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    EXPECT_TRUE(refused.transactions.empty()) << "nothing was done, so nothing is announced";
}

TEST_F(TransactionsTest, XactAbortEndsTheTransactionWithTheBatch)
{
    auto sink = run("SET XACT_ABORT ON BEGIN TRAN DROP DATABASE Tarnel SELECT 1");
    EXPECT_EQ(numbers(sink), std::vector<int>{574});
    EXPECT_TRUE(sink.resultSets.empty()) << "the batch stopped at the error";
    ASSERT_EQ(sink.transactions.size(), 2u);
    EXPECT_EQ(sink.transactions[1].first, TransactionChange::RolledBack);
    EXPECT_EQ(tranCount(), 0);
}

TEST_F(TransactionsTest, AStatementOfSpExecutesqlMustLeaveTheCountAsItFoundIt)
{
    const auto statement
        = [&](const std::string &text) { return rpc("sp_executesql", {textParameter("@statement", text)}); };
    auto opened = statement("BEGIN TRAN");
    EXPECT_EQ(numbers(opened), std::vector<int>{266});
    EXPECT_EQ(opened.messages.at(0).text,
              "Transaction count after EXECUTE indicates a mismatching number of BEGIN "
              "and COMMIT statements. Previous count = 0, current count = 1.");
    EXPECT_EQ(tranCount(), 1) << "the transaction itself stays open";
    EXPECT_EQ(numbers(statement("SELECT 1")), std::vector<int>{});
    EXPECT_EQ(numbers(statement("ROLLBACK")), std::vector<int>{266});
    EXPECT_EQ(numbers(statement("BEGIN TRAN COMMIT")), std::vector<int>{});
    EXPECT_EQ(tranCount(), 0);
}

TEST_F(TransactionsTest, TheProtocolsRequestsShareTheCountWithTransactSql)
{
    const auto request = [&](TransactionRequest::Kind kind, bool beginAnother = false) {
        RecordingSink sink;
        TransactionRequest r;
        r.kind = kind;
        r.beginAnother = beginAnother;
        engine->executeTransactionRequest(session, r, sink);
        return sink;
    };
    using Kind = TransactionRequest::Kind;
    auto commitNone = request(Kind::Commit);
    EXPECT_EQ(numbers(commitNone), std::vector<int>{3902}) << "never done for a transaction not opened";
    EXPECT_TRUE(commitNone.transactions.empty());

    auto begin = request(Kind::Begin);
    ASSERT_EQ(begin.transactions.size(), 1u);
    EXPECT_EQ(tranCount(), 1);
    EXPECT_EQ(numbers(run("DROP DATABASE Tarnel")), std::vector<int>{574});

    auto chained = request(Kind::Commit, true);
    ASSERT_EQ(chained.transactions.size(), 2u);
    EXPECT_EQ(chained.transactions[0].first, TransactionChange::Committed);
    EXPECT_EQ(chained.transactions[1].first, TransactionChange::Began);
    EXPECT_EQ(tranCount(), 1);

    EXPECT_EQ(run("ROLLBACK").firstError(), nullptr);
    EXPECT_EQ(numbers(request(Kind::Rollback)), std::vector<int>{3903});
    EXPECT_EQ(numbers(request(Kind::Distributed)), std::vector<int>{8501});
    EXPECT_EQ(tranCount(), 0);
}

} // namespace
} // namespace sqlemu
