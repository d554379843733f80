// Backs up and restores a 1 GiB database and copies the same files with cp
// on the same disk in the same run, so the storage layer's throughput can
// be read against the disk's. The backup and the restore flush what they
// write (a backup must survive a power cut), so cp is shown both alone and
// followed by a flush of what it wrote.

#include "storage/backup_media.h"
#include "storage/database_file.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace sqlemu {
namespace {

constexpr std::int64_t kDataMegabytes = 1008;
constexpr std::int64_t kLogMegabytes = 16;
constexpr double kTotalBytes = double(kDataMegabytes + kLogMegabytes) * 1024 * 1024;

// The database, made once for the whole run and removed at its end.
class Workspace {
public:
    static Workspace &instance()
    {
        static Workspace workspace;
        return workspace;
    }
    ~Workspace()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    const std::filesystem::path &folder() const { return m_folder; }
    const DatabaseFilePair &pair() const { return m_pair; }

private:
    Workspace()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sqlemu-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_folder = pattern;
        NewDatabaseFiles newFiles;
        newFiles.name = "Bench";
        newFiles.dataPath = m_folder / "Bench.mdf";
        newFiles.logPath = m_folder / "Bench_log.ldf";
        newFiles.dataSizeMegabytes = kDataMegabytes;
        newFiles.logSizeMegabytes = kLogMegabytes;
        m_pair = createDatabaseFiles(newFiles);
    }
    std::filesystem::path m_folder;
    DatabaseFilePair m_pair;
};

void removeQuietly(const std::filesystem::path &path)
{
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

std::string quoted(const std::filesystem::path &path)
{
    return "'" + path.string() + "'";
}

double secondsOf(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void copyWithCp(const DatabaseFilePair &pair, const std::filesystem::path &data, const std::filesystem::path &log,
                bool flush)
{
    std::string command
        = "cp " + quoted(pair.dataPath) + " " + quoted(data) + " && cp " + quoted(pair.logPath) + " " + quoted(log);
    if (flush)
        command += " && sync " + quoted(data) + " " + quoted(log);
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("cp failed");
}

// Memory the machine has never touched is slow to hand out the first time
// (a virtual machine's host fills it in on demand), and the page cache takes
// it for whichever step writes first. Touching enough of it once up front
// keeps that cost out of the comparison.
void warmUpMemory()
{
    constexpr std::size_t kBytes = std::size_t{6} << 30;
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBytes]);
    if (!block)
        return;
    for (std::size_t i = 0; i < kBytes; i += 4096)
        block[i] = 1;
    benchmark::DoNotOptimize(block.get());
}

// The four ways of moving the same gigabyte run in turn within each
// iteration, so that they share the disk's conditions (other work on the
// machine, write-back of earlier steps). Each output is removed right after
// its step, so every step starts from the same state.
void BM_BackupAndRestoreAgainstCp(benchmark::State &state)
{
    auto &ws = Workspace::instance();
    const auto &pair = ws.pair();
    const auto media = ws.folder() / "Bench.bak";
    const auto copyData = ws.folder() / "Copy.mdf";
    const auto copyLog = ws.folder() / "Copy.ldf";
    const std::vector<std::filesystem::path> targets{ws.folder() / "Restored.mdf", ws.folder() / "Restored.ldf"};
    BackupSetDescription description;
    description.name = "My Backup";
    description.databaseName = "Bench";
    description.files = {pair.dataPath, pair.logPath};

    warmUpMemory();
    std::map<std::string, double> seconds;
    std::vector<std::pair<int, double>> progressTimes;
    bool firstBackup = true;
    for (auto _ : state) {
        double total = 0;
        auto step = [&](const std::string &name, const std::function<void()> &work,
                        const std::vector<std::filesystem::path> &outputs) {
            const double s = secondsOf(work);
            seconds[name] += s;
            total += s;
            for (const auto &o : outputs)
                removeQuietly(o);
        };
        step("cp", [&] { copyWithCp(pair, copyData, copyLog, false); }, {copyData, copyLog});
        step("cp+sync", [&] { copyWithCp(pair, copyData, copyLog, true); }, {copyData, copyLog});
        step("backup",
             [&] {
                 OperationProgress progress;
                 const auto start = std::chrono::steady_clock::now();
                 if (firstBackup)
                     progress.onProgress = [&](int percent) {
                         progressTimes.emplace_back(
                             percent, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
                     };
                 appendBackupSet(media, description, progress);
                 firstBackup = false;
             },
             {});
        step("restore", [&] { restoreBackupSet(media, 1, targets, OperationProgress{}); },
             {targets[0], targets[1], media});
        state.SetIterationTime(total);
    }
    const double iterations = static_cast<double>(state.iterations());
    auto rate = [&](const std::string &name) { return kTotalBytes * iterations / seconds[name] / 1048576; };
    for (const char *name : {"cp", "cp+sync", "backup", "restore"})
        state.counters[std::string(name) + " MB/s"] = rate(name);
    std::printf("\n1 GiB database, %d runs each, same disk, same run:\n", static_cast<int>(iterations));
    for (const char *name : {"cp", "cp+sync", "backup", "restore"})
        std::printf("  %-8s %8.1f MB/s\n", name, rate(name));
    for (const char *operation : {"backup", "restore"})
        std::printf("  %-8s / cp %.2f   / cp+sync %.2f\n", operation, rate(operation) / rate("cp"),
                    rate(operation) / rate("cp+sync"));
    std::printf("progress of the first backup (percent at seconds):");
    for (const auto &[percent, at] : progressTimes)
        std::printf(" %d%%@%.2f", percent, at);
    std::printf("\n\n");
    std::fflush(stdout);
}

BENCHMARK(BM_BackupAndRestoreAgainstCp)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace sqlemu
