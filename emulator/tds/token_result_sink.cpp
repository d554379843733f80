#include "tds/token_result_sink.h"

#include "tds/date_time_codec.h"
#include "tds/login7.h"

#include <algorithm>
#include <cctype>

namespace sqlemu::tds {

TokenResultSink::TokenResultSink(ResponseStream &stream, WireFormat format, std::string serverName, Mode mode,
                                 std::function<bool()> cancelProbe)
    : m_stream(stream)
    , m_format(format)
    , m_serverName(std::move(serverName))
    , m_mode(mode)
    , m_cancelProbe(std::move(cancelProbe))
{}

bool TokenResultSink::cancelled() const
{
    if (!m_cancelled && m_cancelProbe)
        m_cancelled = m_cancelProbe();
    return m_cancelled;
}

void TokenResultSink::writePendingDone(bool more)
{
    if (!m_pendingDone)
        return;
    std::uint16_t status = more ? DoneStatus::More : DoneStatus::Final;
    if (m_pendingDone->rowCount)
        status |= DoneStatus::Count;
    if (m_pendingDone->error)
        status |= DoneStatus::Error;
    const std::uint8_t token = m_pendingDone->kind == DoneKind::ProcedureEnd ? TokenId::DoneProc : TokenId::Done;
    writeDone(m_stream.tokens(), m_format, token, status, m_pendingDone->curCmd, m_pendingDone->rowCount.value_or(0));
    m_pendingDone.reset();
}

void TokenResultSink::columns(const std::vector<ColumnInfo> &columns)
{
    if (cancelled())
        return;
    writePendingDone(true);
    m_types.clear();
    std::vector<ColumnInfo> sent = columns;
    // Clients before TDS 7.3 know no date or time type of 2008 and later.
    if (m_format.tdsVersion < TdsVersion::V7_3A)
        for (auto &column : sent)
            column = downLevelColumn(column);
    for (const auto &column : sent)
        m_types.push_back(typeInfoForColumn(column, m_format.wide()));
    writeColMetadata(m_stream.tokens(), m_format, m_types, sent);
    m_stream.sendFullPackets();
}

void TokenResultSink::row(const std::vector<Value> &values)
{
    if (m_cancelled)
        return;
    writeRow(m_stream.tokens(), m_types, values);
    m_stream.sendFullPackets();
}

void TokenResultSink::message(const ServerMessage &message)
{
    if (message.isError() && m_firstError == 0)
        m_firstError = message.number;
    if (m_cancelled)
        return;
    writePendingDone(true);
    if (message.isError())
        m_sawError = true;
    writeMessage(m_stream.tokens(), m_format, message, m_serverName);
    m_stream.sendFullPackets();
}

void TokenResultSink::statementDone(const StatementResult &result)
{
    if (m_cancelled)
        return;
    if (result.error)
        m_sawError = true;
    if (m_mode == Mode::Rpc || result.kind == DoneKind::InProcedure) {
        // Inside a procedure every statement's DONEINPROC is followed by at
        // least the procedure's DONEPROC.
        writePendingDone(true);
        std::uint16_t status = DoneStatus::More;
        if (result.rowCount)
            status |= DoneStatus::Count;
        if (result.error)
            status |= DoneStatus::Error;
        writeDone(m_stream.tokens(), m_format, TokenId::DoneInProc, status, result.curCmd, result.rowCount.value_or(0));
        return;
    }
    writePendingDone(true);
    m_pendingDone = result;
}

void TokenResultSink::databaseChanged(const std::string &newDatabase, const std::string &oldDatabase)
{
    if (m_cancelled)
        return;
    writePendingDone(true);
    writeEnvChange(m_stream.tokens(), EnvChangeType::Database, newDatabase, oldDatabase);
    m_newDatabase = newDatabase;
}

void TokenResultSink::languageChanged(const std::string &newLanguage, const std::string &oldLanguage)
{
    if (m_cancelled)
        return;
    writePendingDone(true);
    writeEnvChange(m_stream.tokens(), EnvChangeType::Language, newLanguage, oldLanguage);
}

void TokenResultSink::transactionChanged(TransactionChange change, std::uint64_t descriptor)
{
    // Clients before TDS 7.2 name no transaction in their requests.
    if (m_cancelled || !m_format.wide())
        return;
    writePendingDone(true);
    writeTransactionChange(m_stream.tokens(), change, descriptor);
}

void TokenResultSink::returnStatus(std::int32_t status)
{
    if (m_mode == Mode::Rpc) {
        m_returnStatus = status;
        return;
    }
    if (m_cancelled)
        return;
    writePendingDone(true);
    writeReturnStatus(m_stream.tokens(), status);
}

void TokenResultSink::outputParameter(const std::string &name, const Value &value)
{
    m_outputValues.emplace_back(name, value);
}

void TokenResultSink::writeReturnValues()
{
    if (!m_parameters)
        return;
    auto sameName = [](const std::string &a, const std::string &b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
                   return std::tolower(x) == std::tolower(y);
               });
    };
    for (std::size_t i = 0; i < m_parameters->size(); ++i) {
        const RpcParameter &p = (*m_parameters)[i];
        if (!p.output)
            continue;
        Value value = p.value;
        for (const auto &[name, reported] : m_outputValues) {
            if (sameName(name, p.name))
                value = reported;
        }
        ColumnInfo column{p.name, p.type, p.maxLength, true};
        if (p.type == SqlType::Decimal) {
            column.precision = 38;
            column.scale = 10;
        }
        writeReturnValue(m_stream.tokens(), m_format, static_cast<std::uint16_t>(i), p.name,
                         typeInfoForColumn(column, m_format.wide()), value);
    }
}

void TokenResultSink::flush()
{
    m_stream.flush();
}

void TokenResultSink::finish(bool lastInMessage)
{
    ByteWriter &out = m_stream.tokens();
    if (cancelled()) {
        writePendingDone(true);
        writeDone(out, m_format, TokenId::Done, DoneStatus::Attention, 0, 0);
        return;
    }
    const std::uint16_t more = lastInMessage ? DoneStatus::Final : DoneStatus::More;
    if (m_mode == Mode::Batch) {
        if (m_pendingDone)
            writePendingDone(!lastInMessage);
        else
            writeDone(out, m_format, TokenId::Done, more | (m_sawError ? DoneStatus::Error : 0), 0, 0);
        return;
    }
    writeReturnStatus(out, m_returnStatus.value_or(m_sawError ? 1 : 0));
    writeReturnValues();
    writeDone(out, m_format, TokenId::DoneProc, more | (m_sawError ? DoneStatus::Error : 0), 0, 0);
}

} // namespace sqlemu::tds
