// The database layer against sqlemu over loopback: how long a login plus the
// database list takes, and how long the user-interface thread can go without
// running its event loop while a long statement blocks it.
#include "db/database.h"
#include "platform/freetds_session.h"

#include "support/bench_application.h"
#include "support/sqlemu_process.h"

#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace movan;

namespace {

SqlemuProcess *g_server = nullptr;

QString saString()
{
    return QStringLiteral("Provider=SQLOLEDB.1;Password=Secret1;Persist Security Info=True;User ID=sa;"
                          "Initial Catalog=master;Data Source=127.0.0.1,%1")
        .arg(g_server->port());
}

void LoginAndDatabaseList(benchmark::State &state)
{
    for (auto _ : state) {
        DbQuery list;
        list.setConnectionString(saString());
        list.setSqlLines({QStringLiteral("Select name, filename from master.dbo.sysdatabases "),
                          QStringLiteral("Where 1=1"), QString()});
        list.open();
        benchmark::DoNotOptimize(list.fieldByName(QStringLiteral("name")));
    }
}
BENCHMARK(LoginAndDatabaseList)->Unit(benchmark::kMillisecond);

// A timer asks for the event loop every 5 ms; the longest gap between two of
// its ticks is the longest the window could not repaint.
void LongestInterfaceStallDuringATenSecondStatement(benchmark::State &state)
{
    for (auto _ : state) {
        DbQuery query;
        query.setConnectionString(saString());
        query.setSqlLines({QStringLiteral("EXEC sqlemu_test_progress @seconds = 10")});
        int progressEvents = 0;
        query.OnFetchProgress = [&](int, int) { ++progressEvents; };
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        clock.start();
        ticker.start(5);
        query.execSQL();
        longest = std::max(longest, clock.elapsed() - last);
        state.counters["longest_stall_ms"] = double(longest);
        state.counters["progress_events"] = progressEvents;
    }
}
BENCHMARK(LongestInterfaceStallDuringATenSecondStatement)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    const auto app = makeBenchApplication(argc, argv);
    SqlemuOptions options;
    options.saPassword = "Secret1";
    SqlemuProcess server(options);
    if (!server.start()) {
        fprintf(stderr, "sqlemu did not start: %s\n", server.error().c_str());
        return 1;
    }
    g_server = &server;
    FreeTdsSession::initializeLibrary();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
