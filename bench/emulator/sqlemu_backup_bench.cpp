// A backup of a 256 MB database through the real sqlemu process over TDS, as
// the tool runs it: the throughput the client sees, and when each "N percent
// processed." packet reached the client, to show that progress arrives
// while the backup runs, not at its end.

#include "support/tds_socket_client.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using sqlemu::tds::Bytes;

constexpr int kDatabaseMegabytes = 256;

fs::path sqlemuExecutable()
{
    return fs::read_symlink("/proc/self/exe").parent_path() / "sqlemu";
}

int runQuietly(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// sqlemu started on a free port with a data folder of its own, stopped with
// SIGTERM at the end.
class SqlemuServer {
public:
    explicit SqlemuServer(const fs::path &dataDir)
    {
        int out[2];
        if (::pipe(out) != 0)
            std::abort();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            const std::string exe = sqlemuExecutable().string();
            const std::string dir = dataDir.string();
            ::execl(exe.c_str(), exe.c_str(), "--data-dir", dir.c_str(), "--port", "0", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        const auto at = line.find("MSSQLSERVER=");
        if (at == std::string::npos)
            std::abort();
        m_port = std::stoi(line.substr(at + 12));
    }
    ~SqlemuServer()
    {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    int port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// The backup's client: a batch sent, its packets as they arrived.
std::vector<benchtds::Packet> run(benchtds::SocketClient &client, const std::string &batch)
{
    return client.requestPackets(tdstest::message(0x01, tdstest::sqlBatch(batch)));
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
    if (runQuietly(sqlemuExecutable().string() + " --make-database Big --data " + data.string() + " --log "
                   + log.string() + " --size " + std::to_string(kDatabaseMegabytes))
        != 0) {
        state.SkipWithError("--make-database failed");
        return;
    }
    {
        SqlemuServer server(dir / "server");
        benchtds::SocketClient client(server.port());
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
