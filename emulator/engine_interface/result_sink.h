#pragma once

// The boundary between the protocol (tds/) and the interpreter (sql/): the
// interpreter runs statements and reports what a real server would send,
// the protocol turns that into tokens and packets.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sqlemu {

// Column and parameter types, named as SQL Server names them.
enum class SqlType {
    Int,
    SmallInt,
    TinyInt,
    BigInt,
    Bit,
    NVarChar,
    VarChar,
    NChar,
    Char,
    DateTime,
    VarBinary,
    UniqueIdentifier,
    Decimal,
    Real, // a 4-byte float; the engine gives its values as text ("42.5") or whole numbers
    SqlVariant, // each value travels with its own type: a text as nvarchar, a number as int
    // From SQL Server 2008 on; values as the canonical text of
    // date_time_text.h, the scale (0 to 7) in ColumnInfo::scale.
    Date,
    Time,
    DateTime2,
    DateTimeOffset,
};

struct ColumnInfo {
    std::string name; // UTF-8
    SqlType type = SqlType::NVarChar;
    int maxLength = 0; // characters for text types, bytes for binary, ignored for fixed types
    bool nullable = true;
    int precision = 0; // Decimal only
    int scale = 0; // Decimal only
};

// NULL, an integer, a text (UTF-8), raw bytes, or a date-time in
// milliseconds since 1900-01-01 00:00 (the server's epoch).
struct DateTimeValue {
    std::int64_t millisecondsSince1900 = 0;
    bool operator==(const DateTimeValue &) const = default;
};
using Bytes = std::vector<std::uint8_t>;
using Value = std::variant<std::monostate, std::int64_t, std::string, Bytes, DateTimeValue>;

inline bool isNull(const Value &v)
{
    return std::holds_alternative<std::monostate>(v);
}

struct ServerMessage {
    std::int32_t number = 0;
    std::uint8_t state = 1;
    std::uint8_t severity = 0; // sent as the token's class; 10 and below travel as INFO
    std::string text; // UTF-8
    std::string procedure; // empty when not raised inside a procedure
    std::int32_t line = 1;
    bool isError() const { return severity > 10; }
};

// A message as the catalogues write them: number, severity, state and text.
inline ServerMessage makeServerMessage(int number, int severity, int state, std::string text)
{
    ServerMessage m;
    m.number = number;
    m.severity = static_cast<std::uint8_t>(severity);
    m.state = static_cast<std::uint8_t>(state);
    m.text = std::move(text);
    return m;
}

// How a session's user transaction changed; the protocol names it by its
// descriptor (ENVCHANGE 8, 9 and 10).
enum class TransactionChange { Began, Committed, RolledBack };

// Which DONE token ends a statement.
//   Statement:    a statement of the batch itself: DONE (DONEINPROC while an
//                 RPC runs, since its statements run inside the procedure).
//   InProcedure:  a statement inside a procedure that the batch EXECUTEd:
//                 DONEINPROC.
//   ProcedureEnd: the end of that EXECUTEd procedure, reported right after its
//                 returnStatus(): DONEPROC. For an RPC the engine reports only
//                 returnStatus(); the protocol ends the RPC with DONEPROC itself.
enum class DoneKind { Statement, InProcedure, ProcedureEnd };

// How a statement ended; the protocol maps this to DONE / DONEINPROC / DONEPROC
// and sets MORE on all but the last one of the request.
struct StatementResult {
    std::uint16_t curCmd = 0; // e.g. 0xC1 for SELECT
    std::optional<std::uint64_t> rowCount; // present: DONE_COUNT is set
    bool error = false; // DONE_ERROR
    DoneKind kind = DoneKind::Statement;
};

class ResultSink {
public:
    virtual ~ResultSink() = default;

    virtual void columns(const std::vector<ColumnInfo> &columns) = 0;
    virtual void row(const std::vector<Value> &values) = 0;
    virtual void message(const ServerMessage &message) = 0;
    virtual void statementDone(const StatementResult &result) = 0;
    // The current database changed (USE); the protocol sends ENVCHANGE 1.
    virtual void databaseChanged(const std::string &newDatabase, const std::string &oldDatabase) = 0;
    // The session's language changed (SET LANGUAGE); the protocol sends
    // ENVCHANGE 2. The engine reports message 5703 itself.
    virtual void languageChanged(const std::string & /*newLanguage*/, const std::string & /*oldLanguage*/) {}
    // The outermost transaction began or ended.
    virtual void transactionChanged(TransactionChange /*change*/, std::uint64_t /*descriptor*/) {}
    // Return status of a procedure called by an RPC or EXEC.
    virtual void returnStatus(std::int32_t status) = 0;
    // The final value of an OUTPUT parameter of an RPC (name with its '@').
    // The protocol answers every OUTPUT parameter with RETURNVALUE; one the
    // engine does not report goes back with the value it came with, as a
    // server returns a parameter that the statement never assigned.
    virtual void outputParameter(const std::string & /*name*/, const Value & /*value*/) {}
    // Sends whatever is buffered now, in packets of its own, so the client sees
    // progress messages while a long statement still runs.
    virtual void flush() = 0;
    // True once the client asked to cancel (ATTENTION); long statements poll it
    // and stop cleanly.
    virtual bool cancelled() const = 0;
};

} // namespace sqlemu
