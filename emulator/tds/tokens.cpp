#include "tds/tokens.h"

#include "tds/text_codec.h"

#include <algorithm>

namespace sqlemu::tds {

void writeDone(ByteWriter &out, const WireFormat &format, std::uint8_t token, std::uint16_t status,
               std::uint16_t curCmd, std::uint64_t rowCount)
{
    out.u8(token);
    out.u16le(status);
    out.u16le(curCmd);
    if (format.wide())
        out.u64le(rowCount);
    else
        out.u32le(static_cast<std::uint32_t>(rowCount));
}

namespace {

// The first units of a UTF-16 text, never half a surrogate pair.
std::u16string firstUnits(std::u16string text, std::size_t units)
{
    if (text.size() <= units)
        return text;
    if (units > 0 && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF)
        --units;
    text.resize(units);
    return text;
}

} // namespace

std::string messageTextOnTheWire(const ServerMessage &message, std::size_t serverNameUnits, std::size_t procedureUnits)
{
    std::u16string text = utf8ToUtf16(message.text);
    // A real server ends a longer message text after 2,044 characters with
    // an ellipsis; PRINT (number 0) is cut by the statement itself.
    if (message.number != 0 && text.size() > kMaxMessageTextUnits)
        text = firstUnits(std::move(text), kMaxMessageTextUnits - 3) + u"...";
    // Whatever the text, the token's 16-bit length must hold it: number,
    // state, class, the three lengths, the names and the line number.
    const std::size_t fixed = 4 + 1 + 1 + 2 + 1 + 2 * std::min<std::size_t>(serverNameUnits, 0xFF) + 1
        + 2 * std::min<std::size_t>(procedureUnits, 0xFF) + 4;
    text = firstUnits(std::move(text), (0xFFFF - fixed) / 2);
    return utf16ToUtf8(text);
}

void writeMessage(ByteWriter &out, const WireFormat &format, const ServerMessage &message,
                  const std::string &serverName)
{
    out.u8(message.isError() ? TokenId::Error : TokenId::Info);
    std::size_t lengthAt = out.size();
    out.u16le(0);
    out.u32le(static_cast<std::uint32_t>(message.number));
    out.u8(message.state);
    out.u8(message.severity);
    out.usVarChar(messageTextOnTheWire(message, utf8ToUtf16(serverName).size(), utf8ToUtf16(message.procedure).size()));
    out.bVarChar(serverName);
    out.bVarChar(message.procedure);
    if (format.wide())
        out.u32le(static_cast<std::uint32_t>(message.line));
    else
        out.u16le(static_cast<std::uint16_t>(message.line));
    out.patchU16le(lengthAt, static_cast<std::uint16_t>(out.size() - lengthAt - 2));
}

void writeEnvChange(ByteWriter &out, std::uint8_t type, const std::string &newValue, const std::string &oldValue)
{
    out.u8(TokenId::EnvChange);
    std::size_t lengthAt = out.size();
    out.u16le(0);
    out.u8(type);
    out.bVarChar(newValue);
    out.bVarChar(oldValue);
    out.patchU16le(lengthAt, static_cast<std::uint16_t>(out.size() - lengthAt - 2));
}

void writeCollationChange(ByteWriter &out, const Collation &collation)
{
    auto bytes = collation.bytes();
    out.u8(TokenId::EnvChange);
    out.u16le(static_cast<std::uint16_t>(1 + 1 + bytes.size() + 1));
    out.u8(EnvChangeType::Collation);
    out.u8(static_cast<std::uint8_t>(bytes.size()));
    out.bytes(bytes);
    out.u8(0);
}

void writeTransactionChange(ByteWriter &out, TransactionChange change, std::uint64_t descriptor)
{
    out.u8(TokenId::EnvChange);
    out.u16le(1 + 1 + 8 + 1);
    const bool began = change == TransactionChange::Began;
    out.u8(began                                        ? EnvChangeType::BeginTransaction
               : change == TransactionChange::Committed ? EnvChangeType::CommitTransaction
                                                        : EnvChangeType::RollbackTransaction);
    if (!began)
        out.u8(0); // no new transaction
    out.u8(8);
    out.u64le(descriptor);
    if (began)
        out.u8(0); // none before it
}

void writeLoginAck(ByteWriter &out, std::uint32_t tdsVersion, const std::string &programName, std::uint8_t major,
                   std::uint8_t minor, std::uint16_t build)
{
    out.u8(TokenId::LoginAck);
    std::size_t lengthAt = out.size();
    out.u16le(0);
    out.u8(1); // SQL_TSQL
    out.u32be(tdsVersion); // the one field a server writes most significant byte first
    out.bVarChar(programName);
    out.u8(major);
    out.u8(minor);
    out.u8(static_cast<std::uint8_t>(build >> 8));
    out.u8(static_cast<std::uint8_t>(build & 0xFF));
    out.patchU16le(lengthAt, static_cast<std::uint16_t>(out.size() - lengthAt - 2));
}

void writeReturnStatus(ByteWriter &out, std::int32_t status)
{
    out.u8(TokenId::ReturnStatus);
    out.u32le(static_cast<std::uint32_t>(status));
}

void writeReturnValue(ByteWriter &out, const WireFormat &format, std::uint16_t ordinal, const std::string &name,
                      const TypeInfo &type, const Value &value)
{
    out.u8(TokenId::ReturnValue);
    out.u16le(ordinal);
    out.bVarChar(name);
    out.u8(0x01); // the value of an output parameter
    if (format.wide())
        out.u32le(0);
    else
        out.u16le(0);
    out.u16le(0x0001); // nullable
    writeTypeInfo(out, type);
    writeValue(out, type, value);
}

void writeResetConnectionAck(ByteWriter &out)
{
    out.u8(TokenId::EnvChange);
    out.u16le(3);
    out.u8(EnvChangeType::ResetConnectionAck);
    out.u8(0);
    out.u8(0);
}

void writeSspi(ByteWriter &out, std::span<const std::uint8_t> token)
{
    out.u8(TokenId::Sspi);
    out.u16le(static_cast<std::uint16_t>(token.size()));
    out.bytes(token);
}

void writeColMetadata(ByteWriter &out, const WireFormat &format, const std::vector<TypeInfo> &types,
                      const std::vector<ColumnInfo> &columns)
{
    out.u8(TokenId::ColMetadata);
    out.u16le(static_cast<std::uint16_t>(columns.size()));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (format.wide())
            out.u32le(0);
        else
            out.u16le(0);
        std::uint16_t flags = columns[i].nullable ? 0x0001 : 0x0000;
        flags |= 0x0008; // updateable: unknown, as for computed expressions
        out.u16le(flags);
        writeTypeInfo(out, types[i]);
        out.bVarChar(columns[i].name);
    }
}

void writeRow(ByteWriter &out, const std::vector<TypeInfo> &types, const std::vector<Value> &values)
{
    out.u8(TokenId::Row);
    for (std::size_t i = 0; i < types.size(); ++i)
        writeValue(out, types[i], i < values.size() ? values[i] : Value{});
}

} // namespace sqlemu::tds
