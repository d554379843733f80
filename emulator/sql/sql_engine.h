#pragma once

#include "engine_interface/engine.h"
#include "sql/execution_context.h"
#include "sql/server_identity.h"
#include "sql/session_registry.h"

#include <map>
#include <memory>
#include <mutex>

namespace sqlemu {

class Catalogue;
class StorageOperations;

// One instance's interpreter over its catalogue.
class SqlEngine : public Engine {
public:
    SqlEngine(const InstanceConfig &config, std::unique_ptr<Catalogue> catalogue);
    ~SqlEngine() override;

    std::optional<ServerMessage> loginDatabaseRefusal(const std::string &name) const override;
    void executeBatch(SessionState &session, const std::string &text, ResultSink &sink) override;
    void executeRpc(SessionState &session, const std::string &procedure, const std::vector<RpcParameter> &parameters,
                    ResultSink &sink) override;
    void executeTransactionRequest(SessionState &session, const TransactionRequest &request, ResultSink &sink) override;
    void sessionClosed(const SessionState &session) override;
    void sessionOpened(const SessionState &session, std::function<void()> closeConnection) override;
    bool sessionKilled(const SessionState &session) const override;

    Catalogue &catalogue() { return *m_catalogue; }

private:
    class Request;
    SessionOptions &optionsFor(int spid);

    InstanceConfig m_config;
    ServerIdentity m_identity;
    std::unique_ptr<Catalogue> m_catalogue;
    std::unique_ptr<StorageOperations> m_storage; // works on the catalogue's databases and their files
    SessionRegistry m_registry;
    std::mutex m_sessionsMutex;
    std::map<int, SessionOptions> m_sessions; // node-based: references stay valid
};

} // namespace sqlemu
