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

bool appendDurably(const std::filesystem::path &path, std::string line)
{
    const bool existed = std::filesystem::exists(path);
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // After a torn last line, start a line of our own.
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        line.insert(line.begin(), '\n');
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    const bool ok = written == line.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (ok && !existed)
        syncFolder(path.parent_path());
    return ok;
}

} // namespace

PartialFolderJournal::PartialFolderJournal(const std::filesystem::path &dataDir)
    : m_path(dataDir / kFileName)
{}

void PartialFolderJournal::record(const std::filesystem::path &folder)
{
    const std::string name = folder.string();
    std::lock_guard lock(m_mutex);
    if (m_recorded.contains(name))
        return;
    if (appendDurably(m_path, encodeLine(name)))
        m_recorded.insert(name);
}

void PartialFolderJournal::sweep()
{
    std::lock_guard lock(m_mutex);
    m_recorded.clear();
    std::string kept;
    for (const auto &folder : readFolders(m_path)) {
        if (m_recorded.contains(folder) || removeLeftoverPartialsIn(folder))
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
