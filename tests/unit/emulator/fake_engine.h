#pragma once

// A scripted engine for protocol tests: each batch text names a behaviour.

#include "engine_interface/engine.h"
#include "sql/transactions.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace sqlemu::test {

using namespace sqlemu;

class FakeEngine : public Engine {
public:
    std::optional<ServerMessage> loginDatabaseRefusal(const std::string &name) const override
    {
        static const std::set<std::string> names = {"master", "tempdb", "model", "msdb", "Tarnel"};
        if (names.count(name) > 0)
            return std::nullopt;
        return ServerMessage{
            4060, 1, 11, "Cannot open database \"" + name + "\" requested by the login. The login failed.", "", 1};
    }

    void executeBatch(SessionState &session, const std::string &text, ResultSink &sink) override
    {
        {
            std::lock_guard lock(m_mutex);
            batches.push_back(text);
        }
        if (text == "select 1") {
            sink.columns({ColumnInfo{"n", SqlType::Int, 0, true}});
            sink.row({std::int64_t{1}});
            sink.statementDone({0xC1, 1, false});
        } else if (text == "two statements") {
            sink.columns({ColumnInfo{"name", SqlType::NVarChar, 128, false}});
            sink.row({std::string("master")});
            sink.row({std::string("مووان")});
            sink.statementDone({0xC1, 2, false});
            sink.message({911, 1, 16, "Database 'x' does not exist.", "", 2});
            sink.statementDone({0, std::nullopt, true});
        } else if (text.rfind("use ", 0) == 0) {
            std::string db = text.substr(4);
            sink.databaseChanged(db, session.currentDatabase);
            session.currentDatabase = db;
            sink.message({5701, 1, 0, "Changed database context to '" + db + "'.", "", 1});
            sink.statementDone({0, std::nullopt, false});
        } else if (text.rfind("slow ", 0) == 0) {
            // one message every 10 ms for N ticks, stopping when cancelled
            int ticks = std::stoi(text.substr(5));
            for (int i = 1; i <= ticks && !sink.cancelled(); ++i) {
                sink.message({3211, 1, 0, std::to_string(i) + " percent processed.", "", 1});
                sink.flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            sink.statementDone({0, std::nullopt, false});
        } else if (text == "big") {
            sink.columns({ColumnInfo{"text", SqlType::NVarChar, 4000, true}});
            for (int i = 0; i < 200; ++i)
                sink.row({std::string(500, static_cast<char>('a' + i % 26))});
            sink.statementDone({0xC1, 200, false});
        } else if (text == "exec proc") {
            sink.columns({ColumnInfo{"n", SqlType::Int, 0, true}});
            sink.row({std::int64_t{7}});
            sink.statementDone({0xC1, 1, false, DoneKind::InProcedure});
            sink.returnStatus(0);
            sink.statementDone({0, std::nullopt, false, DoneKind::ProcedureEnd});
        } else if (text == "two errors") {
            sink.message({3201, 2, 16, "Cannot open backup device 'x'.", "", 1});
            sink.message({3013, 1, 16, "RESTORE DATABASE is terminating abnormally.", "", 1});
            sink.statementDone({0, std::nullopt, true});
        } else if (text == "throw") {
            throw std::runtime_error("boom");
        } else if (!text.empty()) {
            sink.message({102, 1, 15, "Incorrect syntax near '" + text + "'.", "", 1});
            sink.statementDone({0, std::nullopt, true});
        }
    }

    void executeRpc(SessionState &, const std::string &procedure, const std::vector<RpcParameter> &parameters,
                    ResultSink &sink) override
    {
        {
            std::lock_guard lock(m_mutex);
            rpcs.push_back({procedure, parameters});
        }
        sink.columns({ColumnInfo{"name", SqlType::NVarChar, 128, true}});
        for (const auto &p : parameters)
            sink.row({p.name});
        sink.statementDone({0xC1, parameters.size(), false});
        for (const auto &p : parameters) {
            if (p.output && p.name == "@doubled")
                sink.outputParameter("@DOUBLED", std::get<std::int64_t>(p.value) * 2);
        }
        sink.returnStatus(0);
    }

    // The interpreter's own bookkeeping, so the wire shows what it reports.
    void executeTransactionRequest(SessionState &session, const TransactionRequest &request, ResultSink &sink) override
    {
        try {
            if (request.kind == TransactionRequest::Kind::Begin)
                beginTransaction(session, sink, request.name);
            else if (request.kind == TransactionRequest::Kind::Commit)
                commitTransaction(session, sink);
            else
                rollbackTransaction(session, sink, request.name);
        } catch (const SqlError &e) {
            sink.message(e.messages().front());
        }
    }

    void sessionClosed(const SessionState &) override
    {
        std::lock_guard lock(m_mutex);
        closeConnection = nullptr;
        ++closedSessions;
    }
    void sessionOpened(const SessionState &, std::function<void()> closer) override
    {
        std::lock_guard lock(m_mutex);
        closeConnection = std::move(closer);
        ++openedSessions;
    }
    // Ends the session's connection as another session's kill does; false
    // when the engine holds no way to (the session has ended).
    bool kill()
    {
        std::lock_guard lock(m_mutex);
        if (!closeConnection)
            return false;
        closeConnection();
        return true;
    }

    std::mutex m_mutex;
    std::vector<std::string> batches;
    std::vector<std::pair<std::string, std::vector<RpcParameter>>> rpcs;
    std::atomic<int> closedSessions{0};
    std::atomic<int> openedSessions{0};
    std::function<void()> closeConnection;
};

} // namespace sqlemu::test
