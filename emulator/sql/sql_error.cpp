#include "sql/sql_error.h"

namespace sqlemu {

SqlError::SqlError(std::vector<ServerMessage> messages, ErrorScope scope)
    : std::runtime_error(messages.empty() ? std::string() : messages.front().text)
    , m_messages(std::move(messages))
    , m_scope(scope)
{}

SqlError::SqlError(ServerMessage message, ErrorScope scope)
    : SqlError(std::vector<ServerMessage>{std::move(message)}, scope)
{}

SqlError &SqlError::atLine(int line)
{
    for (auto &m : m_messages)
        m.line = line;
    return *this;
}

namespace errors {

ServerMessage message(int number, int severity, int state, std::string text)
{
    return makeServerMessage(number, severity, state, std::move(text));
}

namespace {
std::string quoted(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('\'');
    out.append(s);
    out.push_back('\'');
    return out;
}
} // namespace

SqlError syntaxNear(std::string_view near)
{
    return {message(102, 15, 1, "Incorrect syntax near " + quoted(near) + "."), ErrorScope::Compile};
}

SqlError syntaxNearKeyword(std::string_view keyword)
{
    return {message(156, 15, 1, "Incorrect syntax near the keyword " + quoted(keyword) + "."), ErrorScope::Compile};
}

SqlError unclosedQuotation(std::string_view text)
{
    return {{message(105, 15, 1, "Unclosed quotation mark after the character string " + quoted(text) + "."),
             message(102, 15, 1, "Incorrect syntax near " + quoted(text) + ".")},
            ErrorScope::Compile};
}

SqlError missingEndComment()
{
    return {message(113, 15, 1, "Missing end comment mark '*/'."), ErrorScope::Compile};
}

SqlError invalidObject(std::string_view name)
{
    return {message(208, 16, 1, "Invalid object name " + quoted(name) + "."), ErrorScope::Batch};
}

SqlError selectPermissionDenied(std::string_view object, std::string_view database, std::string_view schema)
{
    return {message(229, 14, 5,
                    "The SELECT permission was denied on the object '" + std::string(object) + "', database '"
                        + std::string(database) + "', schema '" + std::string(schema) + "'."),
            ErrorScope::Statement};
}

SqlError dateTimeConversionFailed()
{
    return {message(241, 16, 1, "Conversion failed when converting date and/or time from character string."),
            ErrorScope::Batch};
}

SqlError invalidParameterValue(std::string_view value, std::string_view parameter, std::string_view procedure)
{
    return {message(50000, 16, 1,
                    "Invalid value " + quoted(value) + " for " + std::string(parameter) + " of "
                        + std::string(procedure) + "."),
            ErrorScope::Statement};
}

SqlError alterDatabaseLockFailed(std::string_view database)
{
    return {{message(5061, 16, 1,
                     "ALTER DATABASE failed because a lock could not be placed on database '" + std::string(database)
                         + "'. Try again later."),
             alterDatabaseFailed()},
            ErrorScope::Statement};
}

SqlError invalidColumn(std::string_view name)
{
    return {message(207, 16, 1, "Invalid column name " + quoted(name) + "."), ErrorScope::Batch};
}

SqlError mustDeclareVariable(std::string_view name)
{
    return {message(137, 15, 2, "Must declare the scalar variable \"" + std::string(name) + "\"."),
            ErrorScope::Compile};
}

SqlError variableAlreadyDeclared(std::string_view name)
{
    return {
        message(
            134, 15, 1,
            "The variable name " + quoted(name)
                + " has already been declared. Variable names must be unique within a query batch or stored procedure."),
        ErrorScope::Compile};
}

SqlError procedureNotFound(std::string_view name)
{
    return {message(2812, 16, 62, "Could not find stored procedure " + quoted(name) + "."), ErrorScope::Statement};
}

SqlError unknownFunction(std::string_view name)
{
    return {message(195, 15, 10, quoted(name) + " is not a recognized built-in function name."), ErrorScope::Compile};
}

SqlError unknownSetOption(std::string_view name)
{
    return {message(195, 15, 1, quoted(name) + " is not a recognized SET option."), ErrorScope::Compile};
}

SqlError unknownOption(std::string_view option, std::string_view statement)
{
    return {message(155, 15, 1, quoted(option) + " is not a recognized " + std::string(statement) + " option."),
            ErrorScope::Compile};
}

SqlError unknownDatabase(std::string_view name, bool oldText, int state)
{
    const std::string text = oldText
        ? "Could not locate entry in sysdatabases for database " + quoted(name)
            + ". No entry found with that name. Make sure that the name is entered correctly."
        : "Database " + quoted(name) + " does not exist. Make sure that the name is entered correctly.";
    return {message(911, 16, state, text), ErrorScope::Batch};
}

SqlError nestedTooDeeply()
{
    return {message(191, 15, 1,
                    "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into "
                    "smaller queries."),
            ErrorScope::Compile};
}

ServerMessage cannotOpenLoginDatabase(std::string_view name)
{
    return message(4060, 11, 1,
                   "Cannot open database \"" + std::string(name) + "\" requested by the login. The login failed.");
}

SqlError notAnOutputParameter(std::string_view parameter)
{
    return {message(8162, 16, 2,
                    "The formal parameter \"" + std::string(parameter)
                        + "\" was not declared as an OUTPUT parameter, but the actual parameter passed in requested "
                          "output."),
            ErrorScope::Statement};
}

SqlError conversionFailed(std::string_view fromType, std::string_view value, std::string_view toType)
{
    return {message(245, 16, 1,
                    "Conversion failed when converting the " + std::string(fromType) + " value " + quoted(value)
                        + " to data type " + std::string(toType) + "."),
            ErrorScope::Batch};
}

SqlError badWaitforTime(std::string_view text)
{
    return {message(148, 15, 1, "Incorrect time syntax in time string " + quoted(text) + " used with WAITFOR."),
            ErrorScope::Statement};
}

SqlError missingParameter(std::string_view query, std::string_view parameter)
{
    return {message(8178, 16, 1,
                    "The parameterized query " + quoted(query) + " expects the parameter " + quoted(parameter)
                        + ", which was not supplied."),
            ErrorScope::Batch};
}

SqlError notAParameter(std::string_view parameter, std::string_view procedure)
{
    return {message(8145, 16, 1,
                    std::string(parameter) + " is not a parameter for procedure " + std::string(procedure) + "."),
            ErrorScope::Statement};
}

ServerMessage registryKeyNotFound()
{
    return message(22001, 1, 1, "RegOpenKeyEx() returned error 2, 'The system cannot find the file specified.'");
}

ServerMessage registryValueNotFound()
{
    return message(22001, 1, 1, "RegQueryValueEx() returned error 2, 'The system cannot find the file specified.'");
}

ServerMessage databaseContextChanged(std::string_view name)
{
    return message(5701, 0, 1, "Changed database context to '" + std::string(name) + "'.");
}

ServerMessage languageChanged()
{
    return message(5703, 0, 1, "Changed language setting to us_english.");
}

ServerMessage statementTerminated(std::string_view statement)
{
    return message(3013, 16, 1, std::string(statement) + " is terminating abnormally.");
}

ServerMessage alterDatabaseNotAllowed(std::string_view name)
{
    return message(5011, 14, 5,
                   "User does not have permission to alter database '" + std::string(name)
                       + "', the database does not exist, or the database is not in a state that allows access "
                         "checks.");
}

ServerMessage alterDatabaseFailed()
{
    return message(5069, 16, 1, "ALTER DATABASE statement failed.");
}

ServerMessage databaseInUseByOthers(std::string_view name)
{
    return message(5070, 16, 2,
                   "Database state cannot be changed while other users are using the database '" + std::string(name)
                       + "'");
}

ServerMessage rollbackProgress(int percent)
{
    return message(5060, 0, 1,
                   "Nonqualified transactions are being rolled back. Estimated rollback completion: "
                       + std::to_string(percent) + "%.");
}

SqlError procedureExpectsUnicodeText(std::string_view parameter)
{
    return {message(214, 16, 2,
                    "Procedure expects parameter '" + std::string(parameter) + "' of type 'ntext/nchar/nvarchar'."),
            ErrorScope::Statement};
}

SqlError unknownDataType(std::string_view name)
{
    return {message(2715, 16, 3, "Column, parameter, or variable #1: Cannot find data type " + std::string(name) + "."),
            ErrorScope::Compile};
}

SqlError invalidScale(std::string_view scale)
{
    return {message(1002, 15, 1, "Specified scale " + std::string(scale) + " is invalid."), ErrorScope::Compile};
}

SqlError typeSizeTooLarge(std::string_view size, std::string_view type, int limit)
{
    return {message(131, 15, 2,
                    "The size (" + std::string(size) + ") given to the type '" + std::string(type)
                        + "' exceeds the maximum allowed for any data type (" + std::to_string(limit) + ")."),
            ErrorScope::Compile};
}

SqlError localVariableDefaultNotAllowed()
{
    return {message(139, 15, 1, "Cannot assign a default value to a local variable."), ErrorScope::Compile};
}

SqlError assignmentMixedWithRetrieval()
{
    return {message(141, 15, 1,
                    "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
                    "operations."),
            ErrorScope::Compile};
}

SqlError conversionOverflowedInt(std::string_view fromType, std::string_view text)
{
    return {message(248, 16, 1,
                    "The conversion of the " + std::string(fromType) + " value '" + std::string(text)
                        + "' overflowed an int column."),
            ErrorScope::Batch};
}

SqlError arithmeticOverflowValue(std::string_view type, std::int64_t value)
{
    return {message(220, 16, 1,
                    "Arithmetic overflow error for data type " + std::string(type)
                        + ", value = " + std::to_string(value) + "."),
            ErrorScope::Batch};
}

SqlError wrongArgumentCount(std::string_view function, std::size_t expected)
{
    return {
        message(174, 15, 1,
                "The " + std::string(function) + " function requires " + std::to_string(expected) + " argument(s)."),
        ErrorScope::Compile};
}

SqlError divideByZero()
{
    return {message(8134, 16, 1, "Divide by zero error encountered."), ErrorScope::Statement};
}

SqlError arithmeticOverflow(std::string_view type)
{
    return {
        message(8115, 16, 2, "Arithmetic overflow error converting expression to data type " + std::string(type) + "."),
        ErrorScope::Statement};
}

SqlError databaseSingleUserInUse(std::string_view name)
{
    return {message(924, 14, 1,
                    "Database '" + std::string(name) + "' is already open and can only have one user at a time."),
            ErrorScope::Batch};
}

SqlError starWithoutTable()
{
    return {message(263, 16, 1, "Must specify table to select from."), ErrorScope::Batch};
}

SqlError outputOfConstant()
{
    return {message(179, 15, 1, "Cannot use the OUTPUT option when passing a constant to a stored procedure."),
            ErrorScope::Batch};
}

SqlError notSupportedYet(std::string_view statement)
{
    // What a real server says of a statement its edition does not offer; a
    // client handles it as it handles any refusal.
    return {message(40517, 16, 1,
                    "Keyword or statement option " + quoted(statement)
                        + " is not supported in this version of SQL Server."),
            ErrorScope::Statement};
}

SqlError conversionNotAllowed(std::string_view fromType, std::string_view toType)
{
    return {message(529, 16, 2,
                    "Explicit conversion from data type " + std::string(fromType) + " to " + std::string(toType)
                        + " is not allowed."),
            ErrorScope::Statement};
}

SqlError operandTypeInvalid(std::string_view type, std::string_view operation)
{
    return {
        message(8117, 16, 1,
                "Operand data type " + std::string(type) + " is invalid for " + std::string(operation) + " operator."),
        ErrorScope::Statement};
}

SqlError optionCannotBeSet(std::string_view option, std::string_view database)
{
    return {{message(5058, 16, 1, "Option " + quoted(option) + " cannot be set in database " + quoted(database) + "."),
             alterDatabaseFailed()},
            ErrorScope::Statement};
}

SqlError orderByPositionOutOfRange(std::int64_t position)
{
    return {message(108, 15, 1,
                    "The ORDER BY position number " + std::to_string(position)
                        + " is out of range of the number of items in the select list."),
            ErrorScope::Compile};
}

SqlError notInAggregate(std::string_view column)
{
    return {message(8120, 16, 1,
                    "Column " + quoted(column)
                        + " is invalid in the select list because it is not contained in either an aggregate "
                          "function or the GROUP BY clause."),
            ErrorScope::Statement};
}

SqlError aggregateNotAllowed()
{
    return {message(147, 15, 1,
                    "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a HAVING "
                    "clause or a select list, and the column being aggregated is an outer reference."),
            ErrorScope::Statement};
}

} // namespace errors

} // namespace sqlemu
