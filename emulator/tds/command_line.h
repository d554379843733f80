#pragma once

// sqlemu's command line, parsed into options; every mistake is reported as a
// CommandLineError whose text the program prints above the usage.

#include "tds/login_service.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqlemu::tds {

class CommandLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct NamedInstance {
    std::string name;
    int port = 0;
};

struct ServerOptions {
    std::string dataDir;
    int port = 1433;
    std::vector<NamedInstance> instances;
    bool browser = false;
    int browserPort = 1434;
    std::map<std::string, SqlLogin> logins; // includes sa, always sysadmin
    // Addresses beyond loopback that --listen asked for; only when every
    // login has a password.
    std::vector<std::string> extraListenAddresses;
    // Sessions served at once; a connection beyond them is closed at once.
    int maxSessions = 4000;
    // From accept to a finished login, however slowly the client trickles.
    int loginTimeoutSeconds = 60;
    // A send to a client that does not read fails after this long.
    int sendTimeoutSeconds = 60;
    // What clients' messages, batches and tokens may hold in all; 0: the
    // default share of the machine's memory.
    std::size_t maxMemoryMegabytes = 0;
    std::string keytab;
    std::string serverVersion = "9.0";
    std::string trace;
    // "available" (a certificate; the client decides), "forced" or
    // "not-supported" (clear text only).
    std::string encryption = "available";
    std::string tlsCertificate; // PEM files; both empty: a self-signed pair made at start
    std::string tlsKey;
    bool testStatements = false;
    bool help = false;
    // Said on standard error at start, e.g. a password file others can read.
    std::vector<std::string> warnings;
};

// Reads the files --sa-password-file and --logins-file name, so that
// passwords stay out of the process list. Each must be a regular file; a
// password file must hold the password on its first line.
ServerOptions parseCommandLine(const std::vector<std::string> &arguments);
const char *usageText();
// What --help adds to the usage: where it listens, where passwords come from.
const char *helpNotes();

// --max-memory's default: half of the machine's memory.
std::size_t defaultMaxMemoryBytes();

} // namespace sqlemu::tds
