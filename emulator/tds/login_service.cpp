#include "tds/login_service.h"

#include "tds/packet.h"

#include <algorithm>
#include <cctype>

namespace sqlemu::tds {

namespace {

bool equalsIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

void writeFailure(ByteWriter &out, const WireFormat &format, const LoginPolicy &policy,
                  std::initializer_list<ServerMessage> messages)
{
    for (const auto &message : messages)
        writeMessage(out, format, message, policy.serverName);
    writeDone(out, format, TokenId::Done, DoneStatus::Error, 0, 0);
}

} // namespace

ServerMessage loginFailedMessage(const std::string &user)
{
    return ServerMessage{18456, 1, 14, "Login failed for user '" + user + "'.", "", 1};
}

ServerMessage untrustedDomainMessage(const ServerVersion &version)
{
    const std::string kind = version.major < 10 ? "Windows" : "Integrated";
    return ServerMessage{
        18452,
        1,
        14,
        "Login failed. The login is from an untrusted domain and cannot be used with " + kind + " authentication.",
        "",
        1};
}

LoginOutcome answerLogin(const Login7Request &request, const LoginPolicy &policy, const Engine &engine, ByteWriter &out)
{
    LoginOutcome outcome;
    outcome.tdsVersion = negotiateTdsVersion(request.tdsVersion, policy.version.maxTdsVersion);
    const WireFormat format{outcome.tdsVersion};

    Bytes sspiReply;
    if (request.integratedSecurity()) {
        if (!policy.kerberos || request.sspi.empty()) {
            outcome.failure = policy.kerberos ? "integrated login without a token" : "integrated login but no keytab";
            writeFailure(out, format, policy, {untrustedDomainMessage(policy.version)});
            return outcome;
        }
        KerberosResult kerberos = policy.kerberos->accept(request.sspi);
        if (!kerberos.accepted) {
            outcome.failure = "Kerberos token refused: " + kerberos.error;
            writeFailure(out, format, policy, {untrustedDomainMessage(policy.version)});
            return outcome;
        }
        outcome.loginName = kerberos.principal;
        outcome.integrated = true;
        outcome.role = ServerRole::SysAdmin;
        sspiReply = std::move(kerberos.replyToken);
    } else {
        auto login = std::find_if(policy.sqlLogins.begin(), policy.sqlLogins.end(),
                                  [&](const auto &entry) { return equalsIgnoringCase(entry.first, request.userName); });
        // Passwords compare exactly; the reason for a failure stays in the
        // server, the client only learns that the login failed.
        if (login == policy.sqlLogins.end() || login->second.password != request.password) {
            outcome.failure = login == policy.sqlLogins.end() ? "no such login '" + request.userName + "'"
                                                              : "wrong password for '" + request.userName + "'";
            writeFailure(out, format, policy, {loginFailedMessage(request.userName)});
            return outcome;
        }
        outcome.loginName = login->first;
        outcome.role = login->second.role;
    }

    const std::string database = request.database.empty() ? "master" : request.database;
    if (auto refusal = engine.loginDatabaseRefusal(database)) {
        outcome.failure = "cannot open database '" + database + "'";
        writeFailure(out, format, policy, {*refusal, loginFailedMessage(outcome.loginName)});
        return outcome;
    }

    outcome.accepted = true;
    outcome.database = database;
    outcome.packetSize = request.packetSize == 0
        ? kDefaultPacketSize
        : std::clamp<std::size_t>(request.packetSize, kMinPacketSize, kMaxPacketSize);
    if (!sspiReply.empty())
        writeSspi(out, sspiReply);
    writeEnvChange(out, EnvChangeType::Database, database, "master");
    writeMessage(out, format, ServerMessage{5701, 2, 0, "Changed database context to '" + database + "'.", "", 1},
                 policy.serverName);
    writeCollationChange(out, serverCollation());
    writeEnvChange(out, EnvChangeType::Language, "us_english", "");
    writeMessage(out, format, ServerMessage{5703, 1, 0, "Changed language setting to us_english.", "", 1},
                 policy.serverName);
    writeLoginAck(out, outcome.tdsVersion, "Microsoft SQL Server", policy.version.major, policy.version.minor,
                  policy.version.build);
    writeEnvChange(out, EnvChangeType::PacketSize, std::to_string(outcome.packetSize),
                   std::to_string(kDefaultPacketSize));
    writeDone(out, format, TokenId::Done, DoneStatus::Final, 0, 0);
    return outcome;
}

} // namespace sqlemu::tds
