#include "storage/partial_folder_journal.h"

#include "storage/atomic_file.h"
#include "storage/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sqlemu {

namespace {

// A folder's name may hold a line break or a backslash; both are escaped so
// that every line is one folder.
std::string encodeLine(const std::string &folder)
{
    std::string line;
    for (const char c : folder) {
        if (c == '\\')
            line += "\\\\";
        else if (c == '\n')
            line += "\\n";
        else
            line += c;
    }
    line += '\n';
    return line;
}

std::string decodeLine(std::string_view line)
{
    std::string folder;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            folder += line[++i] == 'n' ? '\n' : line[i];
        else
            folder += line[i];
    }
    return folder;
}

// The complete lines only: a kill while appending leaves a torn last line,
// written before any partial file of its folder existed.
std::vector<std::string> readFolders(const std::filesystem::path &path)
{
    std::vector<std::string> folders;
    std::string text;
    try {
        const File file = File::openForReading(path);
        text.resize(file.size());
        if (!file.readAt(0, text.data(), text.size()))
            return folders;
    } catch (const FileIoError &) {
        return folders;
    }
    std::size_t start = 0;
    for (auto end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start))
        if (end > start)
            folders.push_back(decodeLine(std::string_view(text).substr(start, end - start)));
    return folders;
}

// 0, or the errno of what failed.
int appendDurably(const std::filesystem::path &path, std::string line)
{
    std::error_code ignored;
    const bool existed = std::filesystem::exists(path, ignored);
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, kCreatedFileMode);
    if (fd < 0)
        return errno;
    // After a torn last line, start a line of our own.
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        line.insert(line.begin(), '\n');
    int failure = 0;
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    ::close(fd);
    if (failure == 0 && !existed)
        syncFolder(path.parent_path());
    return failure;
}

} // namespace

PartialFolderJournal::PartialFolderJournal(const std::filesystem::path &dataDir)
    : m_path(dataDir / kFileName)
{}

int PartialFolderJournal::record(const std::filesystem::path &folder)
{
    const std::string name = folder.string();
    std::lock_guard lock(m_mutex);
    if (m_recorded.contains(name))
        return 0;
    const int failure = appendDurably(m_path, encodeLine(name));
    if (failure == 0)
        m_recorded.insert(name);
    return failure;
}

void PartialFolderJournal::sweep()
{
    std::lock_guard lock(m_mutex);
    m_recorded.clear();
    std::string kept;
    for (const auto &folder : readFolders(m_path)) {
        if (m_recorded.contains(folder) || removeLeftoverPartialsIn(folder, OwnPartials::LeftBehind))
            continue;
        m_recorded.insert(folder);
        kept += encodeLine(folder);
    }
    // Rewritten whole, which also drops a torn last line.
    try {
        if (kept.empty()) {
            std::error_code ignored;
            std::filesystem::remove(m_path, ignored);
            syncFolder(m_path.parent_path());
        } else {
            writeFileAtomically(m_path, kept);
        }
    } catch (const std::exception &) {
        // Left as it was: the next start sweeps the same folders again.
        m_recorded.clear();
    }
}

} // namespace sqlemu
