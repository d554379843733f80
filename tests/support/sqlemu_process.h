#pragma once

// Starts the real sqlemu executable for a test: on free loopback ports, with
// a temporary data folder (removed afterwards) and a trace file, and stops it
// with SIGTERM as a service manager would. Plain C++ and POSIX, so tests with
// or without Qt can use it.

#include "support/temp_folder.h"

#include <chrono>
#include <map>
#include <netinet/in.h>
#include <string>
#include <sys/types.h>
#include <vector>

struct SqlemuOptions {
    int port = 0; // 0: a free port
    std::vector<std::pair<std::string, int>> instances; // named instances, port 0: a free one
    bool browser = false;
    int browserPort = 0; // 0: a free UDP port; 1434 for clients given HOST\NAME
    std::string saPassword; // handed over in a file, never on the command line
    std::vector<std::string> logins; // NAME:PASSWORD, handed over in a file too
    std::string keytab;
    std::string serverVersion; // empty: sqlemu's default
    bool testStatements = true;
    bool trace = true; // every request written to tracePath(); benchmarks measure without it
    std::map<std::string, std::string> environment; // e.g. the Kerberos realm's variables
    std::string dataDir; // empty: a temporary folder owned by the fixture
    std::vector<std::string> extraArguments; // e.g. --max-sessions 8
    int openFileLimit = 0; // the child's descriptor limit; 0: inherited
    // The command sqlemu runs under, e.g. {"prlimit", "--as=N"}, {"unshare",
    // "--pid", "--fork"} or setpriv to run it as another account (its work
    // folder is then open to every account); processId() is the launcher's.
    std::vector<std::string> launcher;
};

class SqlemuProcess {
public:
    explicit SqlemuProcess(SqlemuOptions options = {});
    ~SqlemuProcess();
    SqlemuProcess(const SqlemuProcess &) = delete;
    SqlemuProcess &operator=(const SqlemuProcess &) = delete;

    // Waits for the ready line; false with error() set when sqlemu did not
    // come up within a few seconds.
    bool start();
    // SIGTERM and wait; returns the exit status (-1 if it had to be killed).
    int stop();
    bool running() const { return m_pid > 0; }
    pid_t processId() const { return m_pid; }

    int port() const { return instancePort("MSSQLSERVER"); }
    int instancePort(const std::string &name) const;
    int browserPort() const { return m_browserPort; }
    // "127.0.0.1:PORT", as db-lib and FreeTDS take a server.
    std::string address(const std::string &instance = "MSSQLSERVER") const;
    // "127.0.0.1,PORT", as an OLE DB connection string's Data Source names it.
    std::string dataSource(const std::string &instance = "MSSQLSERVER") const;
    const std::string &dataDir() const { return m_options.dataDir; }
    std::string tracePath() const;
    std::vector<std::string> traceLines() const;
    const std::string &error() const { return m_error; }
    std::string standardError() const;

private:
    SqlemuOptions m_options;
    std::string m_workDir;
    pid_t m_pid = -1;
    std::map<std::string, int> m_ports;
    int m_browserPort = 0;
    std::string m_error;
};

// The IPv4 loopback address with that port (0: any free one, for bind).
sockaddr_in loopbackAddress(int port);
// A TCP socket connected to that loopback port, or -1 when nothing accepts.
int connectToLoopback(int port);
// A loopback port that was free a moment ago (SOCK_STREAM or SOCK_DGRAM).
int freeLoopbackPort(int socketType);
// Whether a loopback port can be bound now.
bool loopbackPortIsFree(int port, int socketType);
// Reads a child's output from fd until marker has arrived, the stream ends,
// or the time is up; returns what was read.
std::string readUntil(int fd, const std::string &marker, std::chrono::milliseconds timeout);
// The built executable of that name (CTest passes the folder).
std::string builtExecutable(const std::string &name);
