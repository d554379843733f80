// How long the interpreter takes for the tool's queries, without the
// network: parsing the largest batch, and the database list with and
// without its filter over a catalogue of 200 databases, from several
// sessions at once.

#include "engine_interface/engine.h"
#include "sql/parser.h"
#include "storage/catalogue.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace sqlemu;

constexpr const char *kBackupBatch
    = "Declare @Ar_Path Varchar(255),\r\n        @Ar_DataBase varchar(50)\r\n\r\nSet @Ar_DataBase = @P1\r\n"
      "Set @Ar_Path     = @P2\r\n\r\nSet @Ar_DataBase = LTrim(RTrim(Replace(@Ar_DataBase, '''', '')))\r\n"
      "Declare @path varchar(200) Set @path= @Ar_Path  --+@Ar_DataBase+'_'+ Replace(Cast(GetDate() As char), ':', '-') "
      "+ '.Back' \r\nBACKUP DATABASE @Ar_DataBase TO DISK = @path WITH NOINIT, NOUNLOAD, NAME = N'My Backup', NOSKIP, "
      "STATS = 10, NOFORMAT\r\n\r\n";

constexpr const char *kListBatch = "Select name, filename from master.dbo.sysdatabases \r\nWhere 1=1\r\n\r\n";
constexpr const char *kFilteredListBatch
    = "Select name, filename from master.dbo.sysdatabases \r\n"
      "Where name Like 'Qelnat%' OR  name like '%Movan%' OR  name like '%Tarnel%'  AND  1=1\r\n\r\n";

// Counts what a client would receive, and nothing more.
class CountingSink : public ResultSink {
public:
    void columns(const std::vector<ColumnInfo> &) override {}
    void row(const std::vector<Value> &) override { ++rows; }
    void message(const ServerMessage &) override {}
    void statementDone(const StatementResult &) override {}
    void databaseChanged(const std::string &, const std::string &) override {}
    void returnStatus(std::int32_t) override {}
    void flush() override {}
    bool cancelled() const override { return false; }
    std::int64_t rows = 0;
};

Engine &sharedEngine()
{
    static std::unique_ptr<Engine> engine = [] {
        std::string folder = (std::filesystem::temp_directory_path() / "sqlemu-bench-XXXXXX").string();
        if (!::mkdtemp(folder.data()))
            std::abort();
        InstanceConfig config;
        config.dataDir = folder + "/MSSQLSERVER";
        config.serverName = "BENCH";
        {
            auto catalogue = Catalogue::open(config.dataDir, 90);
            const char *stems[] = {"Qelnat", "Movan", "Tarnel", "Other"};
            for (int i = 0; i < 200; ++i) {
                DatabaseInfo db;
                db.name = std::string(stems[i % 4]) + "_" + std::to_string(i);
                db.files.push_back(
                    {1, DatabaseFileType::Data, db.name, folder + "/" + db.name + ".mdf", 256, -1, 10, true});
                db.files.push_back(
                    {2, DatabaseFileType::Log, db.name + "_log", folder + "/" + db.name + ".ldf", 128, -1, 10, true});
                catalogue->add(db);
            }
        }
        return createEngine(config);
    }();
    return *engine;
}

void BM_ParseBackupBatch(benchmark::State &state)
{
    ParserOptions options;
    options.predeclaredVariables = {"@P1", "@P2"};
    for (auto _ : state)
        benchmark::DoNotOptimize(parseBatch(kBackupBatch, options));
}
BENCHMARK(BM_ParseBackupBatch);

void runList(benchmark::State &state, const char *batch)
{
    Engine &engine = sharedEngine();
    SessionState session;
    session.spid = 51 + state.thread_index();
    session.role = ServerRole::SysAdmin;
    CountingSink sink;
    for (auto _ : state)
        engine.executeBatch(session, batch, sink);
    state.counters["rows/query"] = benchmark::Counter(
        static_cast<double>(sink.rows) / static_cast<double>(state.iterations()), benchmark::Counter::kAvgThreads);
}

void BM_DatabaseList(benchmark::State &state)
{
    runList(state, kListBatch);
}
void BM_FilteredDatabaseList(benchmark::State &state)
{
    runList(state, kFilteredListBatch);
}
BENCHMARK(BM_DatabaseList)->ThreadRange(1, 4)->UseRealTime();
BENCHMARK(BM_FilteredDatabaseList)->ThreadRange(1, 4)->UseRealTime();

} // namespace
