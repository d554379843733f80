// sqlemu's own speed, over loopback TCP against the real protocol and
// interpreter: logins per second, and the round trip of the database-list
// query while 50 sessions ask at once.

#include "engine_interface/engine.h"
#include "tds/instance_context.h"
#include "tds/listener.h"

#include "support/tds_socket_client.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace sqlemu;
using namespace sqlemu::tds;

namespace {

const char *const kDatabaseList = "Select name, filename from master.dbo.sysdatabases \r\nWhere 1=1\r\n\r\n";

// One instance served in this process, as sqlemu's main would run it.
class BenchServer {
public:
    BenchServer()
    {
        char pattern[] = "/tmp/sqlemu-bench-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        InstanceConfig config;
        config.serverName = "BENCH";
        config.dataDir = m_dir + "/MSSQLSERVER";
        config.installedInstances = {"MSSQLSERVER"};
        std::filesystem::create_directories(config.dataDir);
        m_engine = createEngine(config);
        m_context.engine = m_engine.get();
        m_context.config = config;
        m_context.policy
            = LoginPolicy{{{"sa", {"", ServerRole::SysAdmin}}}, nullptr, *ServerVersion::fromName("16.0"), "BENCH"};
        m_listener = std::make_unique<Listener>(m_context, 4000);
        std::string error;
        if (!m_listener->listen({"127.0.0.1"}, {}, 0, error))
            std::abort();
        m_listener->start();
    }
    ~BenchServer()
    {
        m_listener->stop();
        m_engine.reset();
        std::filesystem::remove_all(m_dir);
    }
    int port() const { return m_listener->port(); }

private:
    std::string m_dir;
    std::unique_ptr<Engine> m_engine;
    InstanceContext m_context;
    std::unique_ptr<Listener> m_listener;
};

BenchServer &server()
{
    static BenchServer instance;
    return instance;
}

void BM_SqlLogin(benchmark::State &state)
{
    const int port = server().port();
    for (auto _ : state) {
        sqlemu::test::SocketClient client(port);
        if (!client.login())
            state.SkipWithError("login refused");
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["logins/s"]
        = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SqlLogin)->UseRealTime();

void BM_DatabaseListRoundTrip(benchmark::State &state)
{
    sqlemu::test::SocketClient client(server().port());
    if (!client.login()) {
        state.SkipWithError("login refused");
        return;
    }
    const Bytes request = sqlemu::test::message(0x01, sqlemu::test::sqlBatch(kDatabaseList));
    std::chrono::steady_clock::duration waited{};
    for (auto _ : state) {
        auto sent = std::chrono::steady_clock::now();
        Bytes answer = client.exchange(request);
        waited += std::chrono::steady_clock::now() - sent;
        benchmark::DoNotOptimize(answer);
    }
    state.SetItemsProcessed(state.iterations());
    // What one session waits for its answer while the others ask too.
    const double micros = std::chrono::duration<double, std::micro>(waited).count();
    state.counters["round_trip_us"] = benchmark::Counter(
        state.iterations() ? micros / static_cast<double>(state.iterations()) : 0, benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_DatabaseListRoundTrip)->Threads(1)->UseRealTime();
BENCHMARK(BM_DatabaseListRoundTrip)->Threads(50)->UseRealTime();

} // namespace
