// sqlemu under many clients at once. For 50, 200 and 500 concurrent clients,
// each one connecting, logging in and asking for the database list, again and
// again: completed rounds per second, the p50 and p99 of one round (connect
// to answer), and the server's peak memory. Each level gets a server process
// of its own, so each peak is that level's.

#include "support/process_usage.h"
#include "support/sqlemu_process.h"
#include "support/tds_socket_client.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const kDatabaseList = "Select name, filename from master.dbo.sysdatabases \r\nWhere 1=1\r\n\r\n";
// Rounds per level, shared by its clients: enough for a steady p99, few
// enough that the closed connections' TIME_WAIT leaves local ports to spare.
constexpr int kRoundsPerLevel = 6000;

double percentile(std::vector<double> &sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[at];
}

void BM_ConcurrentLoginAndDatabaseList(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    const int rounds = kRoundsPerLevel / clients;
    // A server process of its own, so its peak is this level's.
    SqlemuOptions options;
    options.testStatements = false;
    options.trace = false;
    SqlemuProcess server(options);
    if (!server.start()) {
        state.SkipWithError(server.error().c_str());
        return;
    }
    const sqlemu::test::Bytes request = sqlemu::test::message(0x01, sqlemu::test::sqlBatch(kDatabaseList));
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<int> failures{0};
    double seconds = 0;

    for (auto _ : state) {
        std::atomic<int> waiting{clients};
        std::vector<std::thread> threads;
        const auto started = sqlemu::test::Clock::now();
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                auto &mine = latencies[static_cast<std::size_t>(c)];
                mine.reserve(static_cast<std::size_t>(rounds));
                // Every client starts together, as a burst of users would.
                --waiting;
                while (waiting > 0)
                    std::this_thread::yield();
                for (int r = 0; r < rounds; ++r) {
                    const auto sent = sqlemu::test::Clock::now();
                    sqlemu::test::SocketClient client(server.port());
                    if (!client.login()) {
                        ++failures;
                        continue;
                    }
                    benchmark::DoNotOptimize(client.exchange(request));
                    mine.push_back(
                        std::chrono::duration<double, std::milli>(sqlemu::test::Clock::now() - sent).count());
                }
            });
        }
        for (auto &t : threads)
            t.join();
        seconds = std::chrono::duration<double>(sqlemu::test::Clock::now() - started).count();
        state.SetIterationTime(seconds);
    }

    std::vector<double> all;
    for (const auto &l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    if (failures > 0)
        state.SkipWithError("logins refused under load");
    state.counters["rounds_per_s"] = static_cast<double>(all.size()) / seconds;
    state.counters["p50_ms"] = percentile(all, 0.50);
    state.counters["p99_ms"] = percentile(all, 0.99);
    state.counters["peak_MB"] = processStatusMegabytes(server.processId(), "VmHWM");
    // How many cores the server kept busy; the clients had the rest.
    const auto cpu = processCpuTime(server.processId());
    state.counters["server_user_cores"] = cpu.user / seconds;
    state.counters["server_system_cores"] = cpu.system / seconds;
}
BENCHMARK(BM_ConcurrentLoginAndDatabaseList)
    ->Arg(50)
    ->Arg(200)
    ->Arg(500)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
