// A backup of a 256 MB database through the real sqlemu process over TDS, as
// the tool runs it: the throughput the client sees, and when each "N percent
// processed." packet reached the client, to show that progress arrives
// while the backup runs, not at its end.

#include "support/sqlemu_process.h"
#include "support/tds_socket_client.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using sqlemu::tds::Bytes;

constexpr int kDatabaseMegabytes = 256;

int runQuietly(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// The backup's client: a batch sent, its packets as they arrived.
std::vector<sqlemu::test::Packet> run(sqlemu::test::SocketClient &client, const std::string &batch)
{
    return client.requestPackets(sqlemu::test::message(0x01, sqlemu::test::sqlBatch(batch)));
}

// An INFO token (0xAB, length, number) carrying message 3211.
bool holdsProgress(const Bytes &payload)
{
    for (std::size_t i = 0; i + 7 <= payload.size(); ++i)
        if (payload[i] == 0xAB && payload[i + 3] == 0x8B && payload[i + 4] == 0x0C && payload[i + 5] == 0
            && payload[i + 6] == 0)
            return true;
    return false;
}

void BM_BackupOverTds(benchmark::State &state)
{
    std::string pattern = (fs::temp_directory_path() / "sqlemu-backup-bench-XXXXXX").string();
    const fs::path dir = ::mkdtemp(pattern.data());
    const fs::path data = dir / "Big.mdf";
    const fs::path log = dir / "Big_log.ldf";
    if (runQuietly(builtExecutable("sqlemu") + " --make-database Big --data " + data.string() + " --log " + log.string()
                   + " --size " + std::to_string(kDatabaseMegabytes))
        != 0) {
        state.SkipWithError("--make-database failed");
        return;
    }
    {
        SqlemuOptions options;
        options.dataDir = (dir / "server").string();
        options.testStatements = false;
        options.trace = false;
        SqlemuProcess server(options);
        if (!server.start()) {
            state.SkipWithError(server.error().c_str());
            return;
        }
        sqlemu::test::SocketClient client(server.port());
        if (!client.login())
            std::abort();
        run(client,
            "CREATE DATABASE Big ON (FILENAME = N'" + data.string() + "'), (FILENAME = N'" + log.string()
                + "') FOR ATTACH");
        int round = 0;
        double totalSeconds = 0;
        for (auto _ : state) {
            const fs::path media = dir / ("Big" + std::to_string(round++) + ".Bak");
            const auto sent = Clock::now();
            const auto packets = run(client,
                                     "BACKUP DATABASE Big TO DISK = N'" + media.string()
                                         + "' WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, STATS = 10, "
                                           "NOFORMAT");
            const auto ended = packets.back().at;
            const double seconds = std::chrono::duration<double>(ended - sent).count();
            state.SetIterationTime(seconds);
            totalSeconds += seconds;
            std::printf("backup of %d MB over TDS: %.3f s, %.0f MB/s; progress packets at (ms):", kDatabaseMegabytes,
                        seconds, kDatabaseMegabytes / seconds);
            for (const auto &p : packets)
                if (holdsProgress(p.bytes))
                    std::printf(" %.0f", std::chrono::duration<double, std::milli>(p.at - sent).count());
            std::printf("; end %.0f\n", seconds * 1000);
            fs::remove(media);
        }
        if (totalSeconds > 0)
            state.counters["MB_per_s"] = static_cast<double>(kDatabaseMegabytes) * state.iterations() / totalSeconds;
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_BackupOverTds)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
