#include "sql/sql_engine.h"

#include "sql/batch_executor.h"
#include "sql/sql_error.h"
#include "sql/system_procedures.h"
#include "sql/token_budget.h"
#include "sql/transactions.h"
#include "storage/catalogue.h"
#include "storage/collation.h"
#include "storage/storage_messages.h"
#include "storage/storage_operations.h"
#include "storage/system_databases.h"

#include <iostream>

namespace sqlemu {

namespace {

// The client's sink, whose cancel also comes when another session ended
// this one: a killed session's request stops as a cancelled one does.
class KillAwareSink : public ResultSink {
public:
    KillAwareSink(ResultSink &inner, const SessionRegistry &registry, int spid)
        : m_inner(inner)
        , m_registry(registry)
        , m_spid(spid)
    {}
    void columns(const std::vector<ColumnInfo> &columns) override { m_inner.columns(columns); }
    void row(const std::vector<Value> &values) override { m_inner.row(values); }
    void message(const ServerMessage &message) override { m_inner.message(message); }
    void statementDone(const StatementResult &result) override { m_inner.statementDone(result); }
    void databaseChanged(const std::string &newDatabase, const std::string &oldDatabase) override
    {
        m_inner.databaseChanged(newDatabase, oldDatabase);
    }
    void languageChanged(const std::string &newLanguage, const std::string &oldLanguage) override
    {
        m_inner.languageChanged(newLanguage, oldLanguage);
    }
    void transactionChanged(TransactionChange change, std::uint64_t descriptor) override
    {
        m_inner.transactionChanged(change, descriptor);
    }
    void returnStatus(std::int32_t status) override { m_inner.returnStatus(status); }
    void outputParameter(const std::string &name, const Value &value) override { m_inner.outputParameter(name, value); }
    void flush() override { m_inner.flush(); }
    bool cancelled() const override { return m_inner.cancelled() || m_registry.isKilled(m_spid); }

private:
    ResultSink &m_inner;
    const SessionRegistry &m_registry;
    int m_spid;
};

// The request is listed in sys.dm_exec_requests while it runs, however it
// ends (a lost connection leaves through an exception).
class RequestScope {
public:
    RequestScope(SessionRegistry &registry, const SessionState &session)
        : m_registry(registry)
        , m_spid(session.spid)
    {
        m_registry.enter(session.spid, session.currentDatabase);
        m_registry.beginRequest(session.spid, session.loginName, session.currentDatabase);
    }
    ~RequestScope() { m_registry.endRequest(m_spid); }
    RequestScope(const RequestScope &) = delete;
    RequestScope &operator=(const RequestScope &) = delete;

private:
    SessionRegistry &m_registry;
    int m_spid;
};

} // namespace

SqlEngine::SqlEngine(const InstanceConfig &config, std::unique_ptr<Catalogue> catalogue)
    : m_config(config)
    , m_identity(serverIdentity(config.serverVersion))
    , m_catalogue(std::move(catalogue))
{
    StorageServerInfo server;
    server.serverName = config.serverName;
    server.productVersion = m_identity.productVersion;
    server.databaseVersion = m_identity.databaseVersion;
    server.compatibilityLevel = m_identity.compatibilityLevel;
    server.oldUnknownDatabaseText = m_identity.oldUnknownDatabaseText;
    m_storage = std::make_unique<StorageOperations>(*m_catalogue, server);
    for (const auto &name : createMissingSystemDatabaseFiles(*m_catalogue))
        std::cerr << "sqlemu: " << config.instanceName << ": the files of system database " << name
                  << " could not be written\n";
    // A real server's recovery at start: databases whose files went missing
    // or were left damaged are marked suspect, not served.
    for (const auto &name : m_storage->checkDatabasesOnStart())
        std::cerr << "sqlemu: " << config.instanceName << ": database " << name
                  << " is suspect: its files are missing or damaged\n";
}

SqlEngine::~SqlEngine() = default;

std::optional<ServerMessage> SqlEngine::loginDatabaseRefusal(const std::string &name) const
{
    const auto db = m_catalogue->find(name);
    if (!db)
        return errors::cannotOpenLoginDatabase(name);
    return storage_messages::databaseUnavailable(db->name, db->state);
}

SessionOptions &SqlEngine::optionsFor(int spid)
{
    std::lock_guard lock(m_sessionsMutex);
    return m_sessions[spid];
}

// What every request of a session runs with: the session's options, a sink
// that also hears of kills, the request's token budget, and its row in
// sys.dm_exec_requests while it runs.
class SqlEngine::Request {
public:
    Request(SqlEngine &engine, SessionState &session, ResultSink &clientSink)
        : m_sink(clientSink, engine.m_registry, session.spid)
        , m_tokens(engine.m_config.memory)
        , m_scope(engine.m_registry, session)
        , m_registry(engine.m_registry)
        , m_context{session,
                    engine.optionsFor(session.spid),
                    engine.m_config,
                    engine.m_identity,
                    *engine.m_catalogue,
                    *engine.m_storage,
                    engine.m_registry,
                    m_sink,
                    {},
                    0,
                    0}
    {
        m_context.tokenBudget = std::ref(m_tokens);
    }
    // The session is listed in the database the request left it in.
    ~Request() { m_registry.enter(m_context.session.spid, m_context.session.currentDatabase); }
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;

    ExecutionContext &context() { return m_context; }

private:
    KillAwareSink m_sink;
    TokenBudget m_tokens;
    RequestScope m_scope;
    SessionRegistry &m_registry;
    ExecutionContext m_context;
};

void SqlEngine::executeBatch(SessionState &session, const std::string &text, ResultSink &clientSink)
{
    Request request(*this, session, clientSink);
    ParserOptions parserOptions;
    parserOptions.onTokens = request.context().tokenBudget;
    parserOptions.quotedIdentifier = request.context().options.quotedIdentifier;
    parserOptions.truncateOnlyAllowed = m_identity.truncateOnlySupported;
    parserOptions.declareInitializerAllowed = m_identity.declareInitializerSupported;
    parserOptions.dateTypesAllowed = m_identity.declareInitializerSupported;
    try {
        BatchExecutor(request.context()).runText(text, parserOptions);
    } catch (const Cancelled &) {
        // The protocol answers the ATTENTION with its own DONE.
    }
}

void SqlEngine::executeRpc(SessionState &session, const std::string &procedure,
                           const std::vector<RpcParameter> &parameters, ResultSink &clientSink)
{
    Request request(*this, session, clientSink);
    ResultSink &sink = request.context().sink;
    ProcedureCall call;
    call.writtenName = procedure;
    call.name = procedure;
    if (auto dot = procedure.rfind('.'); dot != std::string::npos)
        call.name = procedure.substr(dot + 1);
    call.innerDone = DoneKind::Statement;
    for (const auto &p : parameters) {
        ProcedureArgument argument;
        argument.name = p.name;
        int length = p.maxLength;
        if (p.type == SqlType::NVarChar || p.type == SqlType::NChar)
            length = p.maxLength > 0 ? p.maxLength : 4000;
        argument.value = TypedValue{p.value, p.type, length};
        call.arguments.push_back(std::move(argument));
    }
    try {
        const int status = runProcedure(call, request.context());
        sink.returnStatus(status);
    } catch (const SqlError &e) {
        for (const auto &m : e.messages())
            sink.message(m);
        sink.statementDone({0, std::nullopt, true, DoneKind::Statement});
        sink.returnStatus(e.messages().empty() ? 1 : e.messages().back().number);
    } catch (const Cancelled &) {}
}

void SqlEngine::executeTransactionRequest(SessionState &session, const TransactionRequest &request, ResultSink &sink)
{
    using Kind = TransactionRequest::Kind;
    try {
        switch (request.kind) {
        case Kind::Begin:
            beginTransaction(session, sink, request.name);
            break;
        case Kind::Commit:
            commitTransaction(session, sink);
            break;
        case Kind::Rollback:
            rollbackTransaction(session, sink, request.name);
            break;
        case Kind::Save:
            saveTransaction(session, request.name);
            break;
        case Kind::Distributed:
            throw errors::distributedTransactionsUnavailable(m_config.serverName);
        }
        if (request.beginAnother)
            beginTransaction(session, sink, request.newName);
    } catch (const SqlError &e) {
        for (const auto &m : e.messages())
            sink.message(m);
    }
}

void SqlEngine::sessionClosed(const SessionState &session)
{
    m_registry.leave(session.spid);
    std::lock_guard lock(m_sessionsMutex);
    m_sessions.erase(session.spid);
}

void SqlEngine::sessionOpened(const SessionState &session, std::function<void()> closeConnection)
{
    m_registry.enter(session.spid, session.currentDatabase);
    m_registry.setConnectionCloser(session.spid, std::move(closeConnection));
}

bool SqlEngine::sessionKilled(const SessionState &session) const
{
    return m_registry.isKilled(session.spid);
}

std::unique_ptr<Engine> createEngine(const InstanceConfig &config)
{
    const ServerIdentity identity = serverIdentity(config.serverVersion);
    return std::make_unique<SqlEngine>(config, Catalogue::open(config.dataDir, identity.compatibilityLevel));
}

} // namespace sqlemu
