#pragma once

// One server per data folder: two catalogues saved over each other would lose
// whatever one of them attached. The lock is the kernel's, on the open
// folder, so a killed server leaves none behind and deleting a file does not
// free the folder.

#include <filesystem>
#include <string>

namespace sqlemu {

class DataFolderLock {
public:
    DataFolderLock() = default;
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock &) = delete;
    DataFolderLock &operator=(const DataFolderLock &) = delete;

    // Takes the folder (creating it); false with error set when another
    // process holds it or the lock file cannot be made.
    bool acquire(const std::filesystem::path &folder, std::string &error);

private:
    int m_fd = -1; // the folder, locked
    int m_fileFd = -1; // DIR/.sqlemu.lock, locked too (-1 if it could not be made)
};

} // namespace sqlemu
