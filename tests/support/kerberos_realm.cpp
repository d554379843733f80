#include "support/kerberos_realm.h"

#include "support/sqlemu_process.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string scriptPath()
{
    const char *source = std::getenv("MOVAN_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/support/kerberos-realm";
}

} // namespace

KerberosRealm::KerberosRealm(std::vector<int> servicePorts) : m_ports(std::move(servicePorts)) {}

KerberosRealm::~KerberosRealm()
{
    stop();
    if (!m_root.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
}

std::map<std::string, std::string> KerberosRealm::environment() const
{
    return {{"KRB5_CONFIG", m_dir + "/krb5.conf"},
            {"KRB5_KDC_PROFILE", m_dir + "/kdc.conf"},
            {"KRB5CCNAME", credentialCache()},
            {"KRB5RCACHEDIR", m_dir}};
}

void KerberosRealm::applyToThisProcess() const
{
    for (const auto &[key, value] : environment())
        ::setenv(key.c_str(), value.c_str(), 1);
    ::unsetenv("KRB5_CLIENT_KTNAME");
}

bool KerberosRealm::start()
{
    m_root = makeTemporaryFolder("krb-realm");
    m_dir = m_root + "/realm";
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        m_error = std::strerror(errno);
        return false;
    }
    std::vector<std::string> args = {"/bin/bash", scriptPath(), m_dir};
    for (int port : m_ports)
        args.push_back(std::to_string(port));
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_pid = pid;

    const std::string text = readUntil(out[0], "realm ready\n", std::chrono::seconds(30));
    ::close(out[0]);
    auto user = text.find("user=");
    if (text.find("realm ready") == std::string::npos || user == std::string::npos) {
        m_error = "the Kerberos realm did not come up: " + text;
        stop();
        return false;
    }
    m_user = text.substr(user + 5, text.find('\n', user) - user - 5);
    return true;
}

void KerberosRealm::stop()
{
    if (m_pid <= 0)
        return;
    ::close(m_stdin);   // the script stops its KDC and exits
    m_stdin = -1;
    int status = 0;
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        ::usleep(25'000);
    }
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}
