// sqlemu's peak memory under the largest batches a client may send: one
// client with a 62 MB batch (31 million `;`, the most tokens for the bytes),
// then ten such clients at once. Each is answered with 701 within the
// server's budget; what the server's resident set reached is the figure.
// Each case gets a server process of its own, so each peak is that case's.

#include "support/tds_socket_client.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace {

// The sqlemu built beside this benchmark, on a free loopback port, with the
// extra arguments given.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> extra)
    {
        const auto self = std::filesystem::read_symlink("/proc/self/exe");
        const std::string executable = (self.parent_path() / "sqlemu").string();
        char pattern[] = "/tmp/sqlemu-memory-XXXXXX";
        m_dataDir = ::mkdtemp(pattern);
        int out[2];
        if (::pipe(out) != 0)
            std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {executable, "--data-dir", m_dataDir, "--port", "0"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, executable.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            std::abort();
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
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

    double statusMegabytes(const std::string &field) const
    {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field + ":", 0) == 0)
                return std::stod(line.substr(field.size() + 1)) / 1024.0;
        }
        return 0;
    }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_dataDir;
};

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
    std::vector<std::string> extra;
    if (state.range(1) > 0)
        extra = {"--max-memory", std::to_string(state.range(1))};
    ServerProcess server(extra);
    const double idle = server.statusMegabytes("VmHWM");
    const sqlemu::test::Bytes request = sqlemu::test::message(0x01, sqlemu::test::sqlBatch(std::string(31u << 20, ';')));
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
    state.counters["peak_MB"] = server.statusMegabytes("VmHWM");
}
BENCHMARK(BM_PeakMemoryOfLargestBatches)
    ->Args({1, 0})
    ->Args({10, 0})
    ->Args({10, 512})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
