#pragma once

#include <filesystem>
#include <mutex>
#include <set>
#include <string>

namespace sqlemu {

// The folders this server may have left hidden partial files in. A kill
// midway through a backup or restore leaves them in folders nothing else
// may write to again (a backup folder, a new database's folder), so each
// folder is written down, durably, before the first partial file goes into
// it, and the next start sweeps them all. One line per folder, in the
// instance's folder; the data folder lock makes this process its only
// writer. Thread-safe.
class PartialFolderJournal {
public:
    static constexpr const char *kFileName = ".sqlemu-pending-folders";

    explicit PartialFolderJournal(const std::filesystem::path &dataDir);

    // Call before creating a partial file in folder. Best effort: a journal
    // that cannot be written costs only disk space, never data, and the
    // next writer in the folder still sweeps it, so the operation goes on.
    void record(const std::filesystem::path &folder);

    // At start-up: removes the leftover partial files of gone processes in
    // every recorded folder, then keeps only the folders that still hold some.
    void sweep();

    const std::filesystem::path &filePath() const { return m_path; }

private:
    const std::filesystem::path m_path;
    std::mutex m_mutex;
    std::set<std::string> m_recorded; // written down since the last sweep
};

} // namespace sqlemu
