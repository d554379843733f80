#pragma once

// Decides a LOGIN7 and writes the login response: the token sequence of a
// successful login, or the errors of a failed one (after which the server
// closes the connection).

#include "engine_interface/engine.h"
#include "tds/kerberos_acceptor.h"
#include "tds/login7.h"
#include "tds/server_version.h"
#include "tds/tokens.h"

#include <map>
#include <mutex>
#include <string>

namespace sqlemu::tds {

struct LoginOutcome {
    bool accepted = false;
    std::string loginName;
    bool integrated = false;
    ServerRole role = ServerRole::Public;
    std::string database;
    std::uint32_t tdsVersion = 0;
    std::size_t packetSize = 4096;
    std::string failure; // why a login was refused, for the server's own log only
};

// A SQL Server login: its password and its server role.
struct SqlLogin {
    std::string password;
    ServerRole role = ServerRole::Public;
    bool operator==(const SqlLogin &) const = default;
};

struct LoginPolicy {
    std::map<std::string, SqlLogin> sqlLogins; // names compare case-insensitively
    // Null: integrated logins cannot be verified. A Windows login it
    // verifies counts as one of the computer's administrators, whom the
    // server makes sysadmin.
    KerberosAcceptor *kerberos = nullptr;
    ServerVersion version;
    std::string serverName;
};

// Writes the response tokens (without ending the message) and returns what
// was decided.
LoginOutcome answerLogin(const Login7Request &request, const LoginPolicy &policy, const Engine &engine,
                         ByteWriter &out);

// Texts of the login failures, as a real server words them.
ServerMessage loginFailedMessage(const std::string &user);
ServerMessage untrustedDomainMessage(const ServerVersion &version);

} // namespace sqlemu::tds
