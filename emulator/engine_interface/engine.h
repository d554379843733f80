#pragma once

#include "engine_interface/memory_budget.h"
#include "engine_interface/result_sink.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sqlemu {

// The fixed server roles a login may hold, in small: sysadmin may do
// anything, dbcreator may make, restore and drop databases; everyone else
// (public) may look but not touch the server's files.
enum class ServerRole { Public, DbCreator, SysAdmin };

// What the interpreter knows of the session it runs for.
struct SessionState {
    int spid = 51;
    std::string loginName; // as the client logged in (SQL login or Kerberos principal)
    bool integratedLogin = false;
    ServerRole role = ServerRole::Public;
    std::string currentDatabase = "master";
    std::string hostName;
    std::string appName;
};

// A parameter of an RPC (sp_executesql's @params values), already decoded.
struct RpcParameter {
    std::string name; // with its leading '@'
    SqlType type = SqlType::NVarChar;
    int maxLength = 0;
    Value value;
    bool output = false;
};

// What one instance of the server is; the command line fills it in.
struct InstanceConfig {
    std::string instanceName = "MSSQLSERVER"; // MSSQLSERVER for the default instance
    std::string serverName; // as @@SERVERNAME: HOST or HOST\INSTANCE
    std::string dataDir; // this instance's own folder
    std::string serverVersion = "9.0"; // 9.0, 10.50 or 16.0
    std::vector<std::string> installedInstances; // every instance of the process, for xp_regread
    bool testStatements = false; // enables the statements only tests use
    MemoryBudget *memory = nullptr; // the server's, shared by its instances; null: no limit
};

// One instance's interpreter. Thread-safe: every session calls it from its
// own thread.
class Engine {
public:
    virtual ~Engine() = default;

    // Why a login may not start in this database: nothing when it may,
    // otherwise the server's message (a missing one, one being restored).
    virtual std::optional<ServerMessage> loginDatabaseRefusal(const std::string &name) const = 0;

    // Runs an SQLBatch.
    virtual void executeBatch(SessionState &session, const std::string &text, ResultSink &sink) = 0;

    // Runs an RPC. procedure is the name (or "sp_executesql" for ProcID 10).
    virtual void executeRpc(SessionState &session, const std::string &procedure,
                            const std::vector<RpcParameter> &parameters, ResultSink &sink)
        = 0;

    // The session ended; the engine drops whatever it holds for it.
    virtual void sessionClosed(const SessionState &session) = 0;

    // A session has logged in (into session.currentDatabase).
    // closeConnection ends its connection from any thread without blocking;
    // the engine calls it when another session ends this one (ALTER
    // DATABASE ... WITH ROLLBACK IMMEDIATE), at once for an idle session,
    // after the request it was running has stopped otherwise, as a real
    // server closes a killed session's connection. Never after
    // sessionClosed().
    virtual void sessionOpened(const SessionState & /*session*/, std::function<void()> /*closeConnection*/) {}
    // True once another session ended this one; the protocol answers no
    // request of it any more.
    virtual bool sessionKilled(const SessionState & /*session*/) const { return false; }
};

// Made by the interpreter (sql/); the protocol only knows the interface.
std::unique_ptr<Engine> createEngine(const InstanceConfig &config);

} // namespace sqlemu
