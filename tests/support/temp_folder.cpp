#include "support/temp_folder.h"

#include <cstdlib>
#include <vector>

std::string makeTemporaryFolder(const std::string &prefix)
{
    const std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        return {};
    return buffer.data();
}

namespace sqlemu::test {

TempFolder::TempFolder()
    : m_path(makeTemporaryFolder("sqlemu-test"))
{
    if (m_path.empty())
        std::abort();
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace sqlemu::test
