#pragma once

#include "engine_interface/memory_budget.h"
#include "engine_interface/result_sink.h"

#include <cstdint>
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

// The session's user transaction. Nothing the emulator lets run inside one
// needs undoing (what a rollback could not undo is refused there), so it
// is only the count and the names clients see.
struct SessionTransaction {
    int count = 0; // @@TRANCOUNT
    std::uint64_t descriptor = 0; // how the protocol names the open transaction; 0: none
    std::string name; // of the outermost BEGIN TRANSACTION, empty when unnamed
    std::vector<std::string> savepoints; // SAVE TRANSACTION names, oldest first
};

// A transaction-manager request of the protocol, as clients with
// autocommit off send it instead of BEGIN TRANSACTION.
struct TransactionRequest {
    enum class Kind { Begin, Commit, Rollback, Save, Distributed };
    Kind kind = Kind::Begin;
    std::string name; // the transaction (or savepoint) named, often empty
    bool beginAnother = false; // Commit and Rollback: start a new one at once
    std::string newName; // the name of that new one
};

// What the interpreter knows of the session it runs for.
struct SessionState {
    int spid = 51;
    std::string loginName; // as the client logged in (SQL login or Kerberos principal)
    bool integratedLogin = false;
    ServerRole role = ServerRole::Public;
    std::string currentDatabase = "master";
    std::string hostName;
    std::string appName;
    SessionTransaction transaction;
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

    // Runs a transaction-manager request: what it changed goes to the sink
    // as transactionChanged(), a refusal as an error.
    virtual void executeTransactionRequest(SessionState &session, const TransactionRequest &request, ResultSink &sink)
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
