#include "support/sqlemu_process.h"

#include "support/child_process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kStopTimeout = std::chrono::seconds(15);

int boundLoopbackSocket(int port, int socketType)
{
    int s = ::socket(AF_INET, socketType | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    // As a server binds: connections of an earlier server still waiting out
    // their close (TIME_WAIT) do not hold the port, a listener does.
    if (socketType == SOCK_STREAM) {
        const int on = 1;
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    sockaddr_in a = loopbackAddress(port);
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

} // namespace

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int freeLoopbackPort(int socketType)
{
    int s = boundLoopbackSocket(0, socketType);
    if (s < 0)
        return 0;
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &length);
    ::close(s);
    return ntohs(a.sin_port);
}

int connectToLoopback(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopbackAddress(port);
    if (s >= 0 && ::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) == 0)
        return s;
    if (s >= 0)
        ::close(s);
    return -1;
}

bool loopbackPortIsFree(int port, int socketType)
{
    int s = boundLoopbackSocket(port, socketType);
    if (s < 0)
        return false;
    ::close(s);
    return true;
}

std::string readUntil(int fd, const std::string &marker, std::chrono::milliseconds timeout)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string builtExecutable(const std::string &name)
{
    // Tests are told the folder; benchmarks run by hand sit beside what they start.
    const char *dir = std::getenv("MOVAN_BIN_DIR");
    const std::filesystem::path folder
        = dir ? std::filesystem::path(dir) : std::filesystem::read_symlink("/proc/self/exe").parent_path();
    return (folder / name).string();
}

SqlemuProcess::SqlemuProcess(SqlemuOptions options)
    : m_options(std::move(options))
{}

SqlemuProcess::~SqlemuProcess()
{
    stop();
    if (!m_workDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_workDir, ignored);
    }
}

std::string SqlemuProcess::tracePath() const
{
    return m_workDir + "/trace.jsonl";
}

std::vector<std::string> SqlemuProcess::traceLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(tracePath());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string SqlemuProcess::standardError() const
{
    std::ifstream in(m_workDir + "/stderr.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int SqlemuProcess::instancePort(const std::string &name) const
{
    auto it = m_ports.find(name);
    return it == m_ports.end() ? 0 : it->second;
}

std::string SqlemuProcess::address(const std::string &instance) const
{
    return "127.0.0.1:" + std::to_string(instancePort(instance));
}

std::string SqlemuProcess::dataSource(const std::string &instance) const
{
    return "127.0.0.1," + std::to_string(instancePort(instance));
}

bool SqlemuProcess::start()
{
    m_workDir = makeTemporaryFolder("sqlemu-test");
    if (m_workDir.empty()) {
        m_error = "cannot create a temporary folder";
        return false;
    }
    if (m_options.dataDir.empty())
        m_options.dataDir = m_workDir + "/data";
    std::vector<std::string> args
        = {builtExecutable("sqlemu"), "--data-dir", m_options.dataDir, "--port", std::to_string(m_options.port)};
    if (m_options.trace) {
        args.push_back("--trace");
        args.push_back(tracePath());
    }
    for (const auto &[name, port] : m_options.instances) {
        args.push_back("--instance");
        args.push_back(name + "=" + std::to_string(port));
    }
    if (m_options.browser) {
        args.push_back("--browser");
        args.push_back("--browser-port");
        args.push_back(std::to_string(m_options.browserPort));
    }
    // Passwords travel in files: a command line is open to every local user.
    // A launcher may run the server as another account, which must read them.
    const auto passwordFileMode = m_options.launcher.empty()
        ? std::filesystem::perms::owner_read
        : std::filesystem::perms::owner_read | std::filesystem::perms::group_read | std::filesystem::perms::others_read;
    if (!m_options.saPassword.empty()) {
        std::ofstream(m_workDir + "/sa-password") << m_options.saPassword << '\n';
        std::filesystem::permissions(m_workDir + "/sa-password", passwordFileMode);
        args.push_back("--sa-password-file");
        args.push_back(m_workDir + "/sa-password");
    }
    if (!m_options.logins.empty()) {
        std::ofstream logins(m_workDir + "/logins");
        for (const auto &login : m_options.logins)
            logins << login << '\n';
        logins.close();
        std::filesystem::permissions(m_workDir + "/logins", passwordFileMode);
        args.push_back("--logins-file");
        args.push_back(m_workDir + "/logins");
    }
    if (!m_options.keytab.empty()) {
        args.push_back("--keytab");
        args.push_back(m_options.keytab);
    }
    if (!m_options.serverVersion.empty()) {
        args.push_back("--server-version");
        args.push_back(m_options.serverVersion);
    }
    if (m_options.testStatements)
        args.push_back("--test-statements");
    args.insert(args.end(), m_options.extraArguments.begin(), m_options.extraArguments.end());
    if (m_options.openFileLimit > 0) {
        // The shell lowers the limit, soft and hard, then becomes sqlemu.
        args.insert(
            args.begin(),
            {"/bin/sh", "-c", "ulimit -n " + std::to_string(m_options.openFileLimit) + " && exec \"$0\" \"$@\""});
    }
    if (!m_options.launcher.empty()) {
        ::chmod(m_workDir.c_str(), 0777);
        args.insert(args.begin(), m_options.launcher.begin(), m_options.launcher.end());
    }

    const Child child = startChild(
        {.arguments = args, .environment = m_options.environment, .errorFile = m_workDir + "/stderr.txt"}, &m_error);
    if (child.pid < 0)
        return false;
    m_pid = child.pid;

    const std::string text = readUntil(child.output, "\n", kStartTimeout);
    ::close(child.output);
    std::istringstream words(text.substr(0, text.find('\n')));
    std::string word;
    words >> word;
    words >> word;
    if (word != "ready") {
        m_error = "sqlemu did not start: " + standardError();
        stop();
        return false;
    }
    // sqlemu ready MSSQLSERVER=1433 INST=50001 browser=1434
    while (words >> word) {
        auto eq = word.find('=');
        if (eq == std::string::npos)
            continue;
        int port = std::atoi(word.c_str() + eq + 1);
        if (word.substr(0, eq) == "browser")
            m_browserPort = port;
        else
            m_ports[word.substr(0, eq)] = port;
    }
    return true;
}

int SqlemuProcess::stop()
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    const std::optional<int> code = waitForChild(m_pid, kStopTimeout);
    if (!code)
        killChild(m_pid, SIGKILL);
    m_pid = -1;
    return code.value_or(-1);
}
