// sqlemu's peak memory under the largest batches a client may send: one
// client with a 62 MB batch (31 million `;`, the most tokens for the bytes),
// then ten such clients at once. Each is answered with 701 within the
// server's budget; what the server's resident set reached is the figure.
// Each case gets a server process of its own, so each peak is that case's.

#include "support/process_usage.h"
#include "support/sqlemu_process.h"
#include "support/tds_socket_client.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Whether the response holds error 701.
bool refusedForMemory(const sqlemu::test::Bytes &response)
{
    const auto tokens = sqlemu::test::readResponse(response);
    const auto *error = tokens.find(0xAA);
    return error && error->number == 701;
}

// range(0): clients at once; range(1): --max-memory in MB, 0 for the default.
void BM_PeakMemoryOfLargestBatches(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    // A server process of its own, so its peak is this case's.
    SqlemuOptions options;
    options.testStatements = false;
    options.trace = false;
    if (state.range(1) > 0)
        options.extraArguments = {"--max-memory", std::to_string(state.range(1))};
    SqlemuProcess server(options);
    if (!server.start()) {
        state.SkipWithError(server.error().c_str());
        return;
    }
    const double idle = processStatusMegabytes(server.processId(), "VmHWM");
    const sqlemu::test::Bytes request
        = sqlemu::test::message(0x01, sqlemu::test::sqlBatch(std::string(31u << 20, ';')));
    std::atomic<int> refused{0};
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&] {
                sqlemu::test::SocketClient client(server.port());
                if (client.login() && refusedForMemory(client.exchange(request)))
                    ++refused;
            });
        }
        for (auto &t : threads)
            t.join();
    }
    if (refused != clients * static_cast<int>(state.iterations()))
        state.SkipWithError("a batch was not refused with 701");
    state.counters["idle_MB"] = idle;
    state.counters["peak_MB"] = processStatusMegabytes(server.processId(), "VmHWM");
}
BENCHMARK(BM_PeakMemoryOfLargestBatches)
    ->Args({1, 0})
    ->Args({10, 0})
    ->Args({10, 512})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
