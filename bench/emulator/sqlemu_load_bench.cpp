// sqlemu under many clients at once. For 50, 200 and 500 concurrent clients,
// each one connecting, logging in and asking for the database list, again and
// again: completed rounds per second, the p50 and p99 of one round (connect
// to answer), and the server's peak memory. Each level gets a server process
// of its own, so each peak is that level's.

#include "support/tds_socket_client.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace {

const char *const kDatabaseList = "Select name, filename from master.dbo.sysdatabases \r\nWhere 1=1\r\n\r\n";
// Rounds per level, shared by its clients: enough for a steady p99, few
// enough that the closed connections' TIME_WAIT leaves local ports to spare.
constexpr int kRoundsPerLevel = 6000;

// The sqlemu built beside this benchmark, on a free loopback port.
class ServerProcess {
public:
    ServerProcess()
    {
        const auto self = std::filesystem::read_symlink("/proc/self/exe");
        const std::string executable = (self.parent_path() / "sqlemu").string();
        char pattern[] = "/tmp/sqlemu-load-XXXXXX";
        m_dataDir = ::mkdtemp(pattern);
        int out[2];
        if (::pipe(out) != 0)
            std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {executable, "--data-dir", m_dataDir, "--port", "0"};
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, executable.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            std::abort();
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // "sqlemu ready MSSQLSERVER=PORT"
        FILE *ready = ::fdopen(out[0], "r");
        char line[256] = {};
        if (!std::fgets(line, sizeof line, ready) || std::sscanf(line, "sqlemu ready MSSQLSERVER=%d", &m_port) != 1)
            std::abort();
        std::fclose(ready);
    }
    ~ServerProcess()
    {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        std::filesystem::remove_all(m_dataDir);
    }
    int port() const { return m_port; }

    // The resident set's high-water mark, in megabytes.
    double peakMegabytes() const
    {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmHWM:", 0) == 0)
                return std::stod(line.substr(6)) / 1024.0;
        }
        return 0;
    }

    // CPU time the server has used in seconds: in its own code, and in the
    // system on its behalf (the loopback TCP of every connection).
    struct CpuTime {
        double user = 0;
        double system = 0;
    };
    CpuTime cpuTime() const
    {
        std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        CpuTime time;
        const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                time.user = std::stod(field) / tick;
            if (i == 15)
                time.system = std::stod(field) / tick;
        }
        return time;
    }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_dataDir;
};

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
    ServerProcess server;
    const benchtds::Bytes request = tdstest::message(0x01, tdstest::sqlBatch(kDatabaseList));
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<int> failures{0};
    double seconds = 0;

    for (auto _ : state) {
        std::atomic<int> waiting{clients};
        std::vector<std::thread> threads;
        const auto started = benchtds::Clock::now();
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                auto &mine = latencies[static_cast<std::size_t>(c)];
                mine.reserve(static_cast<std::size_t>(rounds));
                // Every client starts together, as a burst of users would.
                --waiting;
                while (waiting > 0)
                    std::this_thread::yield();
                for (int r = 0; r < rounds; ++r) {
                    const auto sent = benchtds::Clock::now();
                    benchtds::SocketClient client(server.port());
                    if (!client.login()) {
                        ++failures;
                        continue;
                    }
                    benchmark::DoNotOptimize(client.exchange(request));
                    mine.push_back(std::chrono::duration<double, std::milli>(benchtds::Clock::now() - sent).count());
                }
            });
        }
        for (auto &t : threads)
            t.join();
        seconds = std::chrono::duration<double>(benchtds::Clock::now() - started).count();
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
    state.counters["peak_MB"] = server.peakMegabytes();
    // How many cores the server kept busy; the clients had the rest.
    const auto cpu = server.cpuTime();
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
