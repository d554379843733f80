#include "tds/client_request.h"

#include "tds/collation.h"
#include "tds/date_time_codec.h"
#include "tds/login7.h"
#include "tds/text_codec.h"
#include "tds/type_codec.h"

#include <cstdio>

namespace sqlemu::tds {

void skipAllHeaders(ByteReader &reader)
{
    std::size_t start = reader.position();
    std::uint32_t total = reader.u32le();
    if (total < 4 || total - 4 > reader.remaining())
        throw MalformedInput("ALL_HEADERS length outside the packet");
    std::size_t end = start + total;
    while (reader.position() < end) {
        std::uint32_t headerLength = reader.u32le();
        if (headerLength < 6 || headerLength - 4 > end - reader.position())
            throw MalformedInput("header length outside ALL_HEADERS");
        reader.skip(headerLength - 4);
    }
}

std::string parseSqlBatch(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion)
{
    ByteReader reader(payload);
    if (tdsVersion >= TdsVersion::V7_2)
        skipAllHeaders(reader);
    if (reader.remaining() % 2 != 0)
        throw MalformedInput("batch text is not UTF-16");
    return reader.utf16(reader.remaining() / 2);
}

std::string procedureNameForId(std::uint16_t procId)
{
    static const char *const names[] = {"",
                                        "sp_cursor",
                                        "sp_cursoropen",
                                        "sp_cursorprepare",
                                        "sp_cursorexecute",
                                        "sp_cursorprepexec",
                                        "sp_cursorunprepare",
                                        "sp_cursorfetch",
                                        "sp_cursoroption",
                                        "sp_cursorclose",
                                        "sp_executesql",
                                        "sp_prepare",
                                        "sp_execute",
                                        "sp_prepexec",
                                        "sp_prepexecrpc",
                                        "sp_unprepare"};
    if (procId < std::size(names))
        return names[procId];
    return "";
}

namespace {

ServerMessage unknownParameterTypeMessage(std::size_t ordinal, const std::string &name, std::uint8_t typeId)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", typeId);
    return ServerMessage{8009,
                         1,
                         16,
                         "The incoming tabular data stream (TDS) remote procedure call (RPC) protocol stream is "
                         "incorrect. Parameter "
                             + std::to_string(ordinal) + " (\"" + name + "\"): Data type " + hex + " is unknown.",
                         "",
                         1};
}

} // namespace

std::vector<RpcCall> parseRpcRequest(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion)
{
    ByteReader reader(payload);
    if (tdsVersion >= TdsVersion::V7_2)
        skipAllHeaders(reader);
    std::vector<RpcCall> calls;
    while (true) {
        RpcCall call;
        std::uint16_t nameLength = reader.u16le();
        if (nameLength == 0xFFFF) {
            call.procId = reader.u16le();
            call.procedure = procedureNameForId(call.procId);
            if (call.procedure.empty())
                throw MalformedInput("unknown procedure id");
        } else {
            call.procedure = reader.utf16(nameLength);
        }
        call.options = reader.u16le();
        bool more = false;
        while (!reader.atEnd()) {
            std::uint8_t next = reader.u8();
            if (next == 0x80 || next == 0xFF || next == 0xFE) { // batch flag / no-exec flag
                more = true;
                break;
            }
            RpcParameter parameter;
            parameter.name = reader.utf16(next);
            std::uint8_t status = reader.u8();
            parameter.output = (status & 0x01) != 0;
            TypeInfo type;
            try {
                type = readTypeInfo(reader);
                // Types a client of that protocol version cannot know.
                if (isDateTimeTypeId(type.id) && tdsVersion < TdsVersion::V7_3A)
                    throw UnknownParameterType(type.id);
            } catch (const UnknownParameterType &e) {
                throw RefusedRequest(
                    unknownParameterTypeMessage(call.parameters.size() + 1, parameter.name, e.typeId()));
            }
            parameter.type = type.sqlType;
            parameter.maxLength = isDateTimeTypeId(type.id) ? type.scale : type.maxLengthInUnits();
            parameter.value = readValue(reader, type);
            call.parameters.push_back(std::move(parameter));
        }
        calls.push_back(std::move(call));
        if (!more || reader.atEnd())
            break;
    }
    return calls;
}

TransactionRequest parseTransactionManagerRequest(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion)
{
    ByteReader reader(payload);
    if (tdsVersion >= TdsVersion::V7_2)
        skipAllHeaders(reader);
    TransactionRequest request;
    using Kind = TransactionRequest::Kind;
    const std::uint16_t type = reader.u16le();
    switch (type) {
    case 0: // the DTC's address
    case 1: // propagate a distributed transaction
    case 6: // promote to a distributed one
        request.kind = Kind::Distributed;
        return request;
    case 5:
        request.kind = Kind::Begin;
        reader.u8(); // isolation level: the emulator runs every level alike
        request.name = reader.bVarChar();
        return request;
    case 7:
    case 8:
        request.kind = type == 7 ? Kind::Commit : Kind::Rollback;
        request.name = reader.bVarChar();
        request.beginAnother = (reader.u8() & 0x01) != 0;
        if (request.beginAnother) {
            reader.u8();
            request.newName = reader.bVarChar();
        }
        return request;
    case 9:
        request.kind = Kind::Save;
        request.name = reader.bVarChar();
        return request;
    default:
        throw MalformedInput("unknown transaction-manager request");
    }
}

} // namespace sqlemu::tds
