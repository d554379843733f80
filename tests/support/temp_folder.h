#pragma once

#include <filesystem>
#include <string>

// Creates a fresh folder under the system's temporary folder (TMPDIR, else
// /tmp) whose name begins with prefix; empty when it cannot.
std::string makeTemporaryFolder(const std::string &prefix);

namespace sqlemu::test {

// A fresh temporary folder, removed with everything in it afterwards.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace sqlemu::test
