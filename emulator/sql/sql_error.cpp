#include "sql/sql_error.h"

namespace sqlemu {

SqlError::SqlError(std::vector<ServerMessage> messages, ErrorScope scope)
    : std::runtime_error(messages.empty() ? std::string() : messages.front().text),
      m_messages(std::move(messages)), m_scope(scope)
{
}

SqlError::SqlError(ServerMessage message, ErrorScope scope)
    : SqlError(std::vector<ServerMessage>{std::move(message)}, scope)
{
}

SqlError &SqlError::atLine(int line)
{
    for (auto &m : m_messages)
        m.line = line;
    return *this;
}

namespace errors {

ServerMessage message(int number, int severity, int state, std::string text)
{
    ServerMessage m;
    m.number = number;
    m.severity = static_cast<std::uint8_t>(severity);
    m.state = static_cast<std::uint8_t>(state);
    m.text = std::move(text);
    return m;
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

SqlError invalidColumn(std::string_view name)
{
    return {message(207, 16, 1, "Invalid column name " + quoted(name) + "."), ErrorScope::Batch};
}

SqlError mustDeclareVariable(std::string_view name)
{
    return {message(137, 15, 2, "Must declare the scalar variable \"" + std::string(name) + "\"."), ErrorScope::Compile};
}

SqlError variableAlreadyDeclared(std::string_view name)
{
    return {message(134, 15, 1,
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
    return {message(8145, 16, 1, std::string(parameter) + " is not a parameter for procedure " + std::string(procedure) + "."),
            ErrorScope::Statement};
}

SqlError notSupportedYet(std::string_view statement)
{
    return {message(50000, 16, 1, "sqlemu cannot run " + std::string(statement) + " yet."), ErrorScope::Statement};
}

} // namespace errors

} // namespace sqlemu
