// What the database layer tells its caller when the path to the server fails
// while a request travels, and what the server did meanwhile. A request that
// may have reached the server is reported with its outcome unknown and is
// never sent again; one that never left goes on a new connection, once; an
// error the server reported is not unknown.
#include "db/database.h"
#include "integration/db/sqlemu_suite.h"

#include "support/bench_database.h"
#include "support/fault_relay.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

using namespace movan;
using namespace std::chrono_literals;

namespace {

// Waits for a condition such as "the server traced the request's end".
bool waitFor(const FaultRelay::Trigger &condition, std::chrono::milliseconds timeout = 30s)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::optional<DatabaseError> failureOf(DbQuery &query, const QString &sql)
{
    query.setSqlText(sql);
    try {
        query.execSQL();
    } catch (const DatabaseError &error) {
        return error;
    }
    return std::nullopt;
}

// The server behind a relay; the test's calls go through the relay, the
// checks of what the server did go straight to it.
class RequestOutcome : public sqlemu::test::SqlemuSuite {
protected:
    static void SetUpTestSuite()
    {
        s_folder = new QTemporaryDir;
        // A folder of the suite's own, so that a restarted server keeps the
        // databases.
        ASSERT_TRUE(QDir(s_folder->path()).mkdir(QStringLiteral("data")));
        SqlemuOptions options;
        options.dataDir = s_folder->filePath(QStringLiteral("data")).toStdString();
        startServer(options);
        // Two pieces of the server's storage work at least, so that a paced
        // backup is still working when the client's cancel arrives.
        ASSERT_TRUE(makeAttachedDatabase(s_folder->path(), QStringLiteral("Outcomes"), 16, sa()));
        direct(QStringLiteral("BACKUP DATABASE Outcomes TO DISK = N'%1'").arg(backupFile(QStringLiteral("verify"))));
    }
    static void TearDownTestSuite()
    {
        SqlemuSuite::TearDownTestSuite();
        delete s_folder;
        s_folder = nullptr;
    }

    RequestOutcome() { throughRelay.setConnectionString(sa(QStringLiteral("master"), relay.port())); }

    static void direct(const QString &sql)
    {
        DbQuery query;
        query.setConnectionString(sa());
        query.setSqlText(sql);
        query.execSQL();
    }
    static QString backupFile(const QString &name) { return s_folder->filePath(name + QStringLiteral(".bak")); }
    // The sets the server finds in a backup file; none when there is no file.
    static int setsIn(const QString &file)
    {
        if (!QFile::exists(file))
            return 0;
        DbQuery query;
        query.setConnectionString(sa());
        query.setSqlText(QStringLiteral("RESTORE HEADERONLY FROM DISK = N'%1'").arg(file));
        query.open();
        int sets = 0;
        for (query.first(); !query.eof(); query.next())
            ++sets;
        return sets;
    }
    // How many times the server received a batch containing that text.
    static int received(const QString &text) { return traceCount(*s_server, "batch", text.toStdString()); }

    FaultRelay relay{s_server->port()};
    DbConnection throughRelay;
    inline static QTemporaryDir *s_folder = nullptr;
};

// The client gives up after its time-out while the reply is held: it cannot
// know whether the backup was made, and indeed that depends on whether the
// server had finished before the client's cancel reached it.
TEST_F(RequestOutcome, ABackupThatTimesOutIsUnknownAndMadeAtMostOnce)
{
    struct Case {
        const char *name;
        int paceMilliseconds;
        int sets;
    };
    const Case cases[] = {
        {"the server finished before the client gave up", 0, 1},
        {"the client gave up while the server worked", 2000, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = backupFile(QStringLiteral("timeout-%1").arg(c.paceMilliseconds));
        const QString backup = QStringLiteral("BACKUP DATABASE Outcomes TO DISK = N'%1'").arg(file);
        DbQuery query;
        query.setConnection(&throughRelay);
        query.setCommandTimeout(1);
        if (c.paceMilliseconds > 0) {
            query.setSqlText(
                QStringLiteral("EXEC sqlemu_test_pace_storage @milliseconds = %1").arg(c.paceMilliseconds));
            query.execSQL();
        }
        const FaultRelay::Trigger serverEnded = traceEndOf(*s_server, "batch", file.toStdString());
        relay.arm(traceGains(*s_server, "batch", "BACKUP DATABASE"), FaultRelay::Fault::HoldReply);

        const auto failure = failureOf(query, backup);
        ASSERT_TRUE(failure.has_value()) << "a held reply was reported as done";
        EXPECT_TRUE(failure->outcomeUnknown()) << failure->message().toStdString();
        EXPECT_TRUE(relay.waitForFault(0ms));
        ASSERT_TRUE(waitFor(serverEnded)) << "the server never finished the backup";
        relay.release();
        EXPECT_EQ(received(backup), 1);
        EXPECT_EQ(setsIn(file), c.sets);
    }
}

// Faults after the request was written: whatever the server did, the caller
// is told the outcome is unknown, and the request is not sent again.
TEST_F(RequestOutcome, ARequestCutAfterItWasWrittenIsUnknownAndSentOnce)
{
    std::atomic<bool> progressHeard = false;
    const FaultRelay::Trigger afterProgress = [&] { return progressHeard.load(); };
    struct Case {
        const char *name;
        QString statement;
        std::string tracedAs; // empty: the fault comes after the first progress message
        FaultRelay::Plan plan;
        std::optional<int> sets; // in backup-N.bak afterwards
    };
    const Case cases[] = {
        {"a verification cut in the middle of its reply",
         QStringLiteral("RESTORE VERIFYONLY FROM DISK = N'%1'").arg(backupFile(QStringLiteral("verify"))),
         "RESTORE VERIFYONLY",
         {FaultRelay::Fault::CutInReply, 40, {}},
         std::nullopt},
        {"a backup cut once it reached the server, paced so that the server sees the cut",
         QStringLiteral("EXEC sqlemu_test_pace_storage @milliseconds = 500 BACKUP DATABASE Outcomes TO DISK = N'%1'"),
         "BACKUP DATABASE",
         {FaultRelay::Fault::CutAtOnce, 0, {}},
         0},
        {"a backup whose reply is cut as it starts",
         QStringLiteral("BACKUP DATABASE Outcomes TO DISK = N'%1'"),
         "BACKUP DATABASE",
         {FaultRelay::Fault::CutAtReply, 0, {}},
         1},
        {"a backup whose reply is lost after the server finished",
         QStringLiteral("BACKUP DATABASE Outcomes TO DISK = N'%1'"),
         "BACKUP DATABASE",
         {FaultRelay::Fault::HoldThenCut, 0, {}},
         1},
        {"a statement cut after it drew progress messages",
         QStringLiteral("EXEC sqlemu_test_progress @seconds = 3"),
         "",
         {FaultRelay::Fault::CutAtOnce, 0, {}},
         std::nullopt},
    };
    int row = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = backupFile(QStringLiteral("backup-%1").arg(++row));
        const QString statement = c.statement.contains(u"%1") ? c.statement.arg(file) : c.statement;
        DbQuery query;
        query.setConnection(&throughRelay);
        progressHeard = false;
        query.OnFetchProgress = [&](int, int) { progressHeard = true; };
        const int before = received(statement);
        const FaultRelay::Trigger serverEnded = traceEndOf(*s_server, "batch", statement.toStdString());
        FaultRelay::Plan plan = c.plan;
        if (plan.fault == FaultRelay::Fault::HoldThenCut)
            plan.cutWhen = traceEndOf(*s_server, "batch", statement.toStdString());
        relay.arm(c.tracedAs.empty() ? afterProgress : traceGains(*s_server, "batch", c.tracedAs), plan);

        const auto failure = failureOf(query, statement);
        ASSERT_TRUE(failure.has_value()) << "a cut request was reported as done";
        EXPECT_TRUE(failure->outcomeUnknown()) << failure->message().toStdString();
        EXPECT_TRUE(relay.waitForFault(0ms)) << "the fault never came: the case tests nothing";
        ASSERT_TRUE(waitFor(serverEnded)) << "the server never finished the request";
        EXPECT_EQ(received(statement) - before, 1);
        if (c.sets) {
            EXPECT_EQ(setsIn(file), *c.sets);
        }
        if (c.tracedAs.empty()) {
            EXPECT_TRUE(progressHeard);
        }
    }
}

// A connection kept open between requests may be ended meanwhile. Found so
// before the request is written, the request goes on a new connection, once.
TEST_F(RequestOutcome, AnIdleConnectionEndedBeforeTheNextRequestIsReplaced)
{
    struct Case {
        const char *name;
        std::function<void(FaultRelay &)> end;
    };
    const Case cases[] = {
        {"cut on the way", [](FaultRelay &relay) { relay.cutAll(); }},
        {"ended by a restart of the server", [](FaultRelay &) { restartServer(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DbQuery query;
        query.setConnection(&throughRelay);
        ASSERT_FALSE(failureOf(query, QStringLiteral("SELECT 1")));
        const int connections = relay.counters().accepted;
        c.end(relay);

        const QString next = QStringLiteral("SELECT 'after being %1'").arg(QString::fromUtf8(c.name));
        const auto failure = failureOf(query, next);
        EXPECT_FALSE(failure) << failure->message().toStdString();
        EXPECT_EQ(received(next), 1);
        EXPECT_EQ(relay.counters().accepted, connections + 1);
    }
}

TEST_F(RequestOutcome, ARequestThatCannotReachTheServerIsNotDone)
{
    DbQuery query;
    query.setConnection(&throughRelay);
    ASSERT_FALSE(failureOf(query, QStringLiteral("SELECT 1")));
    relay.cutAll();
    relay.setRefusing(true);

    const QString statement = QStringLiteral("SELECT 'while the server is away'");
    const auto failure = failureOf(query, statement);
    ASSERT_TRUE(failure.has_value());
    EXPECT_FALSE(failure->outcomeUnknown()) << failure->message().toStdString();
    EXPECT_EQ(received(statement), 0);
    EXPECT_GE(relay.counters().refused, 1);
}

TEST_F(RequestOutcome, AnErrorTheServerReportedIsNotUnknown)
{
    const std::pair<QString, int> cases[] = {
        {QStringLiteral("BACKUP DATABASE NoSuchDatabase TO DISK = N'%1'").arg(backupFile(QStringLiteral("none"))), 911},
        {QStringLiteral("RESTORE VERIFYONLY FROM DISK = N'%1'").arg(backupFile(QStringLiteral("missing"))), 3201},
    };
    for (const auto &[statement, number] : cases) {
        SCOPED_TRACE(statement.toStdString());
        DbQuery query;
        query.setConnection(&throughRelay);
        const auto failure = failureOf(query, statement);
        ASSERT_TRUE(failure.has_value());
        EXPECT_FALSE(failure->outcomeUnknown());
        EXPECT_EQ(failure->number(), number) << failure->message().toStdString();
        EXPECT_EQ(received(statement), 1);
    }
    EXPECT_FALSE(QFile::exists(backupFile(QStringLiteral("none"))));
}

} // namespace
