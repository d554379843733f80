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

    // Call before creating a partial file in folder: 0 once the folder is
    // written down durably, else the errno of the failure. An operation must
    // not start when it fails: a kill would leave its partial file where no
    // start-up looks (a full disk is when that hurts most).
    [[nodiscard]] int record(const std::filesystem::path &folder);

    // At start-up, before any operation of this process: removes the
    // leftover partial files of gone processes in every recorded folder
    // (those under this process's own id too, left by an earlier server
    // that had it), then keeps only the folders that still hold some.
    void sweep();

    const std::filesystem::path &filePath() const { return m_path; }

private:
    const std::filesystem::path m_path;
    std::mutex m_mutex;
    std::set<std::string> m_recorded; // written down since the last sweep
};

} // namespace sqlemu
