#include "support/kerberos_realm.h"

#include "support/child_process.h"
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

KerberosRealm::KerberosRealm(std::vector<int> servicePorts)
    : m_ports(std::move(servicePorts))
{}

KerberosRealm::~KerberosRealm()
{
    stop();
    if (!m_root.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
}

SqlemuOptions KerberosRealm::serverOptions(int port) const
{
    SqlemuOptions options;
    options.port = port;
    options.keytab = keytab();
    options.environment = environment();
    return options;
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
    std::vector<std::string> args = {"/bin/bash", scriptPath(), m_dir};
    for (int port : m_ports)
        args.push_back(std::to_string(port));
    const Child child = startChild({.arguments = args, .pipeInput = true}, &m_error);
    if (child.pid < 0)
        return false;
    m_stdin = child.input;
    m_pid = child.pid;

    const std::string text = readUntil(child.output, "realm ready\n", std::chrono::seconds(30));
    ::close(child.output);
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
    ::close(m_stdin); // the script stops its KDC and exits
    m_stdin = -1;
    if (!waitForChild(m_pid, std::chrono::seconds(5)))
        killChild(m_pid, SIGTERM);
    m_pid = -1;
}
