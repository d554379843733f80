#pragma once

#include "engine_interface/result_sink.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sqlemu {

// How far an error reaches, as on a real server: a compile error stops the
// whole batch before anything runs, a statement error ends its statement and
// the batch goes on, a batch-aborting error stops the rest of the batch.
enum class ErrorScope { Compile, Statement, Batch };

// An error raised while compiling or running T-SQL, with the messages a real
// server sends for it (some errors come as a pair, such as 105 + 102 or
// 911 + 3013).
class SqlError : public std::runtime_error {
public:
    SqlError(std::vector<ServerMessage> messages, ErrorScope scope);
    SqlError(ServerMessage message, ErrorScope scope);

    const std::vector<ServerMessage> &messages() const { return m_messages; }
    ErrorScope scope() const { return m_scope; }
    SqlError &atLine(int line);

private:
    std::vector<ServerMessage> m_messages;
    ErrorScope m_scope;
};

// The errors the interpreter raises, with the numbers, classes, states and
// texts of a real server. Each builds the message; callers throw.
namespace errors {

ServerMessage message(int number, int severity, int state, std::string text);

SqlError syntaxNear(std::string_view near); // 102
SqlError nestedTooDeeply(); // 191
SqlError syntaxNearKeyword(std::string_view keyword); // 156
SqlError unclosedQuotation(std::string_view text); // 105 + 102
SqlError missingEndComment(); // 113
SqlError invalidObject(std::string_view name); // 208
SqlError selectPermissionDenied(std::string_view object, std::string_view database,
                                std::string_view schema); // 229
SqlError dateTimeConversionFailed(); // 241
// A test statement's argument that names nothing it knows (50000).
SqlError invalidParameterValue(std::string_view value, std::string_view parameter, std::string_view procedure);
SqlError alterDatabaseLockFailed(std::string_view database); // 5061 + 5069
SqlError invalidColumn(std::string_view name); // 207
SqlError mustDeclareVariable(std::string_view name); // 137
SqlError variableAlreadyDeclared(std::string_view name); // 134
SqlError procedureNotFound(std::string_view name); // 2812
SqlError unknownFunction(std::string_view name); // 195
SqlError unknownSetOption(std::string_view name); // 195
SqlError unknownOption(std::string_view option, std::string_view statement); // 155
SqlError unknownDatabase(std::string_view name, bool oldText, int state); // 911
ServerMessage cannotOpenLoginDatabase(std::string_view name); // 4060
SqlError conversionFailed(std::string_view fromType, std::string_view value, std::string_view toType); // 245
SqlError badWaitforTime(std::string_view text); // 148
SqlError missingParameter(std::string_view query, std::string_view parameter); // 8178
SqlError notAnOutputParameter(std::string_view parameter); // 8162
SqlError notAParameter(std::string_view parameter, std::string_view procedure); // 8145
// Messages without an error of their own: informational, or one of several
// that a refusal sends together.
ServerMessage registryKeyNotFound(); // 22001
ServerMessage registryValueNotFound(); // 22001
ServerMessage databaseContextChanged(std::string_view name); // 5701
ServerMessage languageChanged(); // 5703
ServerMessage statementTerminated(std::string_view statement); // 3013
ServerMessage alterDatabaseNotAllowed(std::string_view name); // 5011
ServerMessage alterDatabaseFailed(); // 5069
ServerMessage databaseInUseByOthers(std::string_view name); // 5070
ServerMessage rollbackProgress(int percent); // 5060

SqlError procedureExpectsUnicodeText(std::string_view parameter); // 214
SqlError unknownDataType(std::string_view name); // 2715
SqlError invalidScale(std::string_view scale); // 1002
SqlError typeSizeTooLarge(std::string_view size, std::string_view type, int limit); // 131
SqlError localVariableDefaultNotAllowed(); // 139
SqlError assignmentMixedWithRetrieval(); // 141
SqlError conversionOverflowedInt(std::string_view fromType, std::string_view text); // 248
SqlError arithmeticOverflowValue(std::string_view type, std::int64_t value); // 220
SqlError wrongArgumentCount(std::string_view function, std::size_t expected); // 174
SqlError divideByZero(); // 8134
SqlError arithmeticOverflow(std::string_view type); // 8115
SqlError databaseSingleUserInUse(std::string_view name); // 924
SqlError starWithoutTable(); // 263
SqlError outputOfConstant(); // 179
SqlError conversionNotAllowed(std::string_view fromType, std::string_view toType); // 529
SqlError operandTypeInvalid(std::string_view type, std::string_view operation); // 8117
SqlError optionCannotBeSet(std::string_view option, std::string_view database); // 5058 + 5069
SqlError orderByPositionOutOfRange(std::int64_t position); // 108
SqlError notInAggregate(std::string_view column); // 8120
SqlError aggregateNotAllowed(); // 147
// What this server's edition does not offer (40517): statements a real server
// runs but the emulator does not.
SqlError notSupportedYet(std::string_view statement); // 40517

} // namespace errors

} // namespace sqlemu
