#pragma once

// A throw-away MIT Kerberos realm for a test, built by the kerberos-realm
// script in a temporary folder: KDC on a loopback port, user alice with a
// ticket, service principals MSSQLSvc/<host>:<port> for the given ports in a
// keytab. Stopped and removed when the object goes.

#include "support/sqlemu_process.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class KerberosRealm {
public:
    explicit KerberosRealm(std::vector<int> servicePorts);
    ~KerberosRealm();
    KerberosRealm(const KerberosRealm &) = delete;
    KerberosRealm &operator=(const KerberosRealm &) = delete;

    bool start();
    void stop();
    const std::string &error() const { return m_error; }

    const std::string &directory() const { return m_dir; }
    std::string keytab() const { return m_dir + "/service.keytab"; }
    std::string credentialCache() const { return "FILE:" + m_dir + "/ccache"; }
    const std::string &userPrincipal() const { return m_user; }
    // The variables every process of the test needs (server and client).
    std::map<std::string, std::string> environment() const;
    // Sets them in this process, for the client library the test drives.
    void applyToThisProcess() const;
    // A sqlemu on that port that takes this realm's tickets: its service key
    // from the keytab, the realm's variables in its environment.
    SqlemuOptions serverOptions(int port) const;

private:
    std::vector<int> m_ports;
    std::string m_root;
    std::string m_dir;
    std::string m_user;
    std::string m_error;
    pid_t m_pid = -1;
    int m_stdin = -1;
};
