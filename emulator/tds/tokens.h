#pragma once

// Token encoders: each appends one token of the tabular result stream.

#include "engine_interface/result_sink.h"
#include "tds/byte_io.h"
#include "tds/collation.h"
#include "tds/type_codec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sqlemu::tds {

namespace TokenId {
constexpr std::uint8_t ReturnStatus = 0x79;
constexpr std::uint8_t ColMetadata = 0x81;
constexpr std::uint8_t Error = 0xAA;
constexpr std::uint8_t Info = 0xAB;
constexpr std::uint8_t ReturnValue = 0xAC;
constexpr std::uint8_t LoginAck = 0xAD;
constexpr std::uint8_t Row = 0xD1;
constexpr std::uint8_t EnvChange = 0xE3;
constexpr std::uint8_t Sspi = 0xED;
constexpr std::uint8_t Done = 0xFD;
constexpr std::uint8_t DoneProc = 0xFE;
constexpr std::uint8_t DoneInProc = 0xFF;
} // namespace TokenId

namespace DoneStatus {
constexpr std::uint16_t Final = 0x00;
constexpr std::uint16_t More = 0x01;
constexpr std::uint16_t Error = 0x02;
constexpr std::uint16_t InTransaction = 0x04;
constexpr std::uint16_t Count = 0x10;
constexpr std::uint16_t Attention = 0x20;
constexpr std::uint16_t ServerError = 0x100;
} // namespace DoneStatus

namespace EnvChangeType {
constexpr std::uint8_t Database = 1;
constexpr std::uint8_t Language = 2;
constexpr std::uint8_t PacketSize = 4;
constexpr std::uint8_t Collation = 7;
constexpr std::uint8_t BeginTransaction = 8;
constexpr std::uint8_t CommitTransaction = 9;
constexpr std::uint8_t RollbackTransaction = 10;
constexpr std::uint8_t ResetConnectionAck = 18;
} // namespace EnvChangeType

// What changes with the negotiated version: 7.2 and later use 8-byte row
// counts, 32-bit user types and line numbers.
struct WireFormat {
    std::uint32_t tdsVersion = 0x74000004;
    bool wide() const { return tdsVersion >= 0x72000000; }
};

void writeDone(ByteWriter &out, const WireFormat &format, std::uint8_t token, std::uint16_t status,
               std::uint16_t curCmd, std::uint64_t rowCount);
// The longest message text a real server sends, in UTF-16 units.
constexpr std::size_t kMaxMessageTextUnits = 2047;

// The text of an ERROR or INFO token as it leaves: a message longer than a
// real server's limit ends in "...", and no text overflows the token's 16-bit
// length, whatever the names beside it.
std::string messageTextOnTheWire(const ServerMessage &message, std::size_t serverNameUnits, std::size_t procedureUnits);
void writeMessage(ByteWriter &out, const WireFormat &format, const ServerMessage &message,
                  const std::string &serverName);
void writeEnvChange(ByteWriter &out, std::uint8_t type, const std::string &newValue, const std::string &oldValue);
void writeCollationChange(ByteWriter &out, const Collation &collation);
// ENVCHANGE 8 (the new descriptor), 9 or 10 (the old one), values as B_VARBYTE.
void writeTransactionChange(ByteWriter &out, TransactionChange change, std::uint64_t descriptor);
void writeLoginAck(ByteWriter &out, std::uint32_t tdsVersion, const std::string &programName, std::uint8_t major,
                   std::uint8_t minor, std::uint16_t build);
void writeReturnStatus(ByteWriter &out, std::int32_t status);
void writeReturnValue(ByteWriter &out, const WireFormat &format, std::uint16_t ordinal, const std::string &name,
                      const TypeInfo &type, const Value &value);
void writeResetConnectionAck(ByteWriter &out);
void writeSspi(ByteWriter &out, std::span<const std::uint8_t> token);
void writeColMetadata(ByteWriter &out, const WireFormat &format, const std::vector<TypeInfo> &types,
                      const std::vector<ColumnInfo> &columns);
void writeRow(ByteWriter &out, const std::vector<TypeInfo> &types, const std::vector<Value> &values);

} // namespace sqlemu::tds
