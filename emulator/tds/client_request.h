#pragma once

// SQLBatch and RPC requests as the engine wants them: UTF-8 text and decoded
// parameter values.

#include "engine_interface/engine.h"
#include "tds/byte_io.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sqlemu::tds {

// Skips ALL_HEADERS (TDS 7.2 and later) and checks its lengths.
void skipAllHeaders(ByteReader &reader);

// Throws MalformedInput.
std::string parseSqlBatch(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);

struct RpcCall {
    std::string procedure; // by name, or the name of a well-known ProcID
    std::uint16_t procId = 0; // 0 when called by name
    std::uint16_t options = 0;
    std::vector<RpcParameter> parameters;
};

// A request refused whole with a real server's error, the session going on:
// a parameter of a type the server does not know (8009).
class RefusedRequest : public std::runtime_error {
public:
    explicit RefusedRequest(ServerMessage message)
        : std::runtime_error(message.text)
        , m_message(std::move(message))
    {}
    const ServerMessage &message() const { return m_message; }

private:
    ServerMessage m_message;
};

// One RPC message may hold several calls, separated by a batch flag.
// Throws MalformedInput, or RefusedRequest.
std::vector<RpcCall> parseRpcRequest(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);

// A transaction-manager request (begin, commit, rollback, save; the
// distributed kinds only by kind). Throws MalformedInput.
TransactionRequest parseTransactionManagerRequest(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);

// The names of the ProcIDs of special procedures (10 = sp_executesql).
std::string procedureNameForId(std::uint16_t procId);

} // namespace sqlemu::tds
