#pragma once

// Turns what the engine reports into tokens: DONE for a batch's statements
// (MORE on all but the last, which is only known when the next arrives),
// DONEINPROC / RETURNSTATUS / DONEPROC for procedures, whether a batch EXECs
// them or they run as an RPC, and DONE with the attention bit once the client
// has cancelled.

#include "engine_interface/engine.h"
#include "engine_interface/result_sink.h"
#include "tds/response_stream.h"
#include "tds/tokens.h"

#include <functional>
#include <optional>
#include <string>

namespace sqlemu::tds {

class TokenResultSink : public ResultSink {
public:
    enum class Mode { Batch, Rpc };

    TokenResultSink(ResponseStream &stream, WireFormat format, std::string serverName, Mode mode,
                    std::function<bool()> cancelProbe);

    void columns(const std::vector<ColumnInfo> &columns) override;
    void row(const std::vector<Value> &values) override;
    void message(const ServerMessage &message) override;
    void statementDone(const StatementResult &result) override;
    void databaseChanged(const std::string &newDatabase, const std::string &oldDatabase) override;
    void languageChanged(const std::string &newLanguage, const std::string &oldLanguage) override;
    void transactionChanged(TransactionChange change, std::uint64_t descriptor) override;
    void returnStatus(std::int32_t status) override;
    void outputParameter(const std::string &name, const Value &value) override;
    // The parameters of the RPC this sink answers, for RETURNVALUE.
    void setRpcParameters(const std::vector<RpcParameter> *parameters) { m_parameters = parameters; }
    void flush() override;
    bool cancelled() const override;

    // Writes the tokens that close the request; lastInMessage: no other RPC of
    // the same message follows. Does not end the message itself.
    void finish(bool lastInMessage = true);
    bool sawError() const { return m_sawError; }
    // The number of the first error the engine raised (class 11 and above),
    // sent or not; 0 when none.
    std::int32_t firstError() const { return m_firstError; }
    const std::optional<std::string> &newDatabase() const { return m_newDatabase; }

private:
    void writePendingDone(bool more);
    void writeReturnValues();

    ResponseStream &m_stream;
    WireFormat m_format;
    std::string m_serverName;
    Mode m_mode;
    std::function<bool()> m_cancelProbe;
    mutable bool m_cancelled = false;
    std::vector<TypeInfo> m_types;
    std::optional<StatementResult> m_pendingDone;
    std::optional<std::int32_t> m_returnStatus;
    const std::vector<RpcParameter> *m_parameters = nullptr;
    std::vector<std::pair<std::string, Value>> m_outputValues;
    std::optional<std::string> m_newDatabase;
    bool m_sawError = false;
    std::int32_t m_firstError = 0;
};

} // namespace sqlemu::tds
