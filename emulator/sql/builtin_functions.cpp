#include "sql/builtin_functions.h"

#include "sql/execution_context.h"
#include "sql/sql_error.h"
#include "sql/token.h"
#include "storage/catalogue.h"
#include "storage/collation.h"
#include "storage/server_clock.h"
#include "storage/utf8.h"

#include <cctype>
#include <unistd.h>

namespace sqlemu {

namespace {

struct Signature {
    std::string_view name; // upper case
    std::size_t minArguments;
    std::size_t maxArguments;
};

constexpr Signature kFunctions[] = {
    {"APP_NAME", 0, 0},     {"COALESCE", 2, 64},  {"CURRENT_TIMESTAMP", 0, 0},
    {"CURRENT_USER", 0, 0}, {"DB_ID", 0, 1},      {"DB_NAME", 0, 1},
    {"GETDATE", 0, 0},      {"HOST_NAME", 0, 0},  {"ISNULL", 2, 2},
    {"LEN", 1, 1},          {"LOWER", 1, 1},      {"LTRIM", 1, 1},
    {"REPLACE", 3, 3},      {"RTRIM", 1, 1},      {"SERVERPROPERTY", 1, 1},
    {"SESSION_USER", 0, 0}, {"SUSER_NAME", 0, 0}, {"SUSER_SNAME", 0, 0},
    {"SYSTEM_USER", 0, 0},  {"UPPER", 1, 1},      {"USER", 0, 0},
    {"USER_NAME", 0, 0},    {"QUOTENAME", 1, 2},  {"COUNT", 1, 1},
};

const Signature *findSignature(std::string_view name)
{
    const std::string key = asciiUpper(name);
    for (const auto &f : kFunctions)
        if (f.name == key)
            return &f;
    return nullptr;
}

TypedValue nameValue(std::string text)
{
    return TypedValue::text(std::move(text), SqlType::NVarChar, 128);
}

TypedValue nameNull()
{
    return TypedValue::null(SqlType::NVarChar, 128);
}

std::string trimmed(const std::string &s, bool left, bool right)
{
    std::size_t begin = 0, end = s.size();
    if (left)
        while (begin < end && s[begin] == ' ')
            ++begin;
    if (right)
        while (end > begin && s[end - 1] == ' ')
            --end;
    return s.substr(begin, end - begin);
}

// REPLACE under a case-insensitive collation finds its pattern in any case.
std::string replaceAll(const std::string &text, const std::string &find, const std::string &with)
{
    const std::u32string source = decodeUtf8(text);
    const std::u32string pattern = decodeUtf8(find);
    const std::u32string replacement = decodeUtf8(with);
    if (pattern.empty())
        return text;
    std::u32string out;
    std::size_t i = 0;
    while (i < source.size()) {
        bool match = i + pattern.size() <= source.size();
        for (std::size_t k = 0; match && k < pattern.size(); ++k)
            match = foldCase(source[i + k]) == foldCase(pattern[k]);
        if (match) {
            out += replacement;
            i += pattern.size();
        } else {
            out.push_back(source[i++]);
        }
    }
    return encodeUtf8(out);
}

std::string changeCase(const std::string &text, bool toUpper)
{
    std::u32string chars = decodeUtf8(text);
    for (char32_t &c : chars) {
        if (toUpper) {
            if (c >= U'a' && c <= U'z')
                c -= 32;
        } else {
            c = foldCase(c);
        }
    }
    return encodeUtf8(chars);
}

TypedValue serverProperty(const std::string &property, ExecutionContext &context)
{
    const std::string key = asciiUpper(property);
    const ServerIdentity &id = context.identity;
    const bool defaultInstance = sameName(context.config.instanceName, "MSSQLSERVER");
    std::string machine = context.config.serverName;
    if (auto slash = machine.find('\\'); slash != std::string::npos)
        machine.resize(slash);
    if (key == "PRODUCTVERSION")
        return nameValue(id.productVersion);
    if (key == "PRODUCTLEVEL")
        return nameValue(id.productLevel);
    if (key == "EDITION")
        return nameValue(id.edition);
    if (key == "ENGINEEDITION")
        return TypedValue::integer(4);
    if (key == "SERVERNAME")
        return nameValue(context.config.serverName);
    if (key == "MACHINENAME")
        return nameValue(machine);
    if (key == "INSTANCENAME")
        return defaultInstance ? nameNull() : nameValue(context.config.instanceName);
    if (key == "COLLATION")
        return nameValue("Arabic_CI_AS");
    if (key == "ISINTEGRATEDSECURITYONLY")
        return TypedValue::integer(0);
    if (key == "ISCLUSTERED")
        return TypedValue::integer(0);
    if (key == "PROCESSID")
        return TypedValue::integer(::getpid()); // the server process, as a real one reports
    return nameNull();
}

} // namespace

void checkFunctionCall(std::string_view name, std::size_t argumentCount, int line)
{
    const Signature *f = findSignature(name);
    if (!f)
        throw errors::unknownFunction(name).atLine(line);
    if (argumentCount < f->minArguments || argumentCount > f->maxArguments) {
        const std::size_t expected = argumentCount < f->minArguments ? f->minArguments : f->maxArguments;
        throw errors::wrongArgumentCount(name, expected).atLine(line);
    }
}

TypedValue functionResultType(std::string_view name, const std::vector<TypedValue> &argumentTypes)
{
    const std::string key = asciiUpper(name);
    auto textLike = [&](std::size_t i) {
        if (i < argumentTypes.size() && isTextType(argumentTypes[i].type))
            return TypedValue::null(argumentTypes[i].type == SqlType::Char        ? SqlType::VarChar
                                        : argumentTypes[i].type == SqlType::NChar ? SqlType::NVarChar
                                                                                  : argumentTypes[i].type,
                                    argumentTypes[i].length);
        return TypedValue::null(SqlType::VarChar, 8000);
    };
    if (key == "LTRIM" || key == "RTRIM" || key == "UPPER" || key == "LOWER")
        return textLike(0);
    if (key == "REPLACE") {
        bool unicode = false;
        for (const auto &a : argumentTypes)
            unicode = unicode || isUnicodeType(a.type);
        return unicode ? TypedValue::null(SqlType::NVarChar, 4000) : TypedValue::null(SqlType::VarChar, 8000);
    }
    if (key == "ISNULL" || key == "COALESCE")
        return argumentTypes.empty() ? TypedValue::null()
                                     : TypedValue::null(argumentTypes[0].type, argumentTypes[0].length);
    if (key == "LEN" || key == "DB_ID" || key == "COUNT")
        return TypedValue::null(SqlType::Int);
    if (key == "QUOTENAME")
        return TypedValue::null(SqlType::NVarChar, 258);
    if (key == "GETDATE" || key == "CURRENT_TIMESTAMP")
        return TypedValue::null(SqlType::DateTime);
    if (key == "SERVERPROPERTY")
        return TypedValue::null(SqlType::SqlVariant);
    return TypedValue::null(SqlType::NVarChar, 128);
}

TypedValue callFunction(std::string_view name, const std::vector<TypedValue> &arguments, ExecutionContext &context)
{
    const std::string key = asciiUpper(name);
    TypedValue result = functionResultType(name, arguments);
    auto text = [&](std::size_t i) { return valueAsText(arguments[i].value); };

    if (key == "LTRIM" || key == "RTRIM" || key == "UPPER" || key == "LOWER" || key == "LEN") {
        auto s = text(0);
        if (!s)
            return result;
        if (key == "LEN")
            return TypedValue::integer(static_cast<std::int64_t>(utf8Length(trimmed(*s, false, true))));
        if (key == "UPPER" || key == "LOWER")
            result.value = changeCase(*s, key == "UPPER");
        else
            result.value = trimmed(*s, key == "LTRIM", key == "RTRIM");
        return result;
    }
    if (key == "REPLACE") {
        auto s = text(0), find = text(1), with = text(2);
        if (s && find && with)
            result.value = replaceAll(*s, *find, *with);
        return result;
    }
    if (key == "ISNULL" || key == "COALESCE") {
        for (const auto &a : arguments)
            if (!isNull(a.value)) {
                result.value = a.value;
                return result;
            }
        return result;
    }
    if (key == "DB_ID") {
        auto db = arguments.empty() ? context.catalogue.find(context.session.currentDatabase)
                                    : (text(0) ? context.catalogue.find(*text(0)) : std::nullopt);
        return db ? TypedValue::integer(db->id) : TypedValue::null(SqlType::Int);
    }
    if (key == "DB_NAME") {
        std::optional<DatabaseInfo> db;
        if (arguments.empty()) {
            db = context.catalogue.find(context.session.currentDatabase);
        } else if (const auto *n = std::get_if<std::int64_t>(&arguments[0].value)) {
            db = context.catalogue.findById(static_cast<int>(*n));
        } else if (auto s = text(0)) {
            db = context.catalogue.findById(static_cast<int>(textToInteger(*s, arguments[0].type, SqlType::Int)));
        }
        return db ? nameValue(db->name) : nameNull();
    }
    if (key == "QUOTENAME") {
        // A delimited identifier: the closing delimiter doubled inside;
        // NULL beyond 128 characters or for a delimiter it does not know.
        auto s = text(0);
        const std::string delimiter = arguments.size() > 1 ? text(1).value_or("") : "[";
        if (!s || utf8Length(*s) > 128 || delimiter.size() != 1)
            return result;
        // Each delimiter a real server takes, with the pair it writes.
        static constexpr struct {
            char given, open, close;
        } kDelimiters[]
            = {{'[', '[', ']'}, {']', '[', ']'}, {'(', '(', ')'},    {')', '(', ')'}, {'<', '<', '>'}, {'>', '<', '>'},
               {'{', '{', '}'}, {'}', '{', '}'}, {'\'', '\'', '\''}, {'"', '"', '"'}, {'`', '`', '`'}};
        char open = 0, close = 0;
        for (const auto &d : kDelimiters)
            if (d.given == delimiter[0]) {
                open = d.open;
                close = d.close;
            }
        if (!open)
            return result;
        std::string quoted(1, open);
        for (char c : *s) {
            quoted += c;
            if (c == close)
                quoted += c;
        }
        quoted += close;
        result.value = quoted;
        return result;
    }
    if (key == "COUNT")
        throw errors::aggregateNotAllowed();
    if (key == "SERVERPROPERTY") {
        auto s = text(0);
        return s ? serverProperty(*s, context) : nameNull();
    }
    if (key == "GETDATE" || key == "CURRENT_TIMESTAMP")
        return TypedValue{serverNow(), SqlType::DateTime, 0};
    if (key == "SUSER_SNAME" || key == "SUSER_NAME" || key == "SYSTEM_USER")
        return nameValue(context.session.loginName);
    if (key == "CURRENT_USER" || key == "USER" || key == "USER_NAME" || key == "SESSION_USER")
        return nameValue("dbo");
    if (key == "HOST_NAME")
        return nameValue(context.session.hostName);
    if (key == "APP_NAME")
        return nameValue(context.session.appName);
    throw errors::unknownFunction(name);
}

void checkSystemVariable(std::string_view name, int line)
{
    static constexpr std::string_view kKnown[]
        = {"@@VERSION",  "@@SERVERNAME", "@@SERVICENAME", "@@SPID",     "@@LANGUAGE",
           "@@ROWCOUNT", "@@ERROR",      "@@TRANCOUNT",   "@@TEXTSIZE", "@@MAX_PRECISION"};
    const std::string key = asciiUpper(name);
    for (auto known : kKnown)
        if (key == known)
            return;
    throw errors::mustDeclareVariable(name).atLine(line);
}

TypedValue systemVariable(std::string_view name, ExecutionContext &context)
{
    const std::string key = asciiUpper(name);
    if (key == "@@VERSION")
        return TypedValue::text(context.identity.versionBanner, SqlType::NVarChar, 300);
    if (key == "@@SERVERNAME")
        return nameValue(context.config.serverName);
    if (key == "@@SERVICENAME")
        return nameValue(context.config.instanceName);
    if (key == "@@SPID")
        return TypedValue::integer(context.session.spid, SqlType::SmallInt);
    if (key == "@@LANGUAGE")
        return nameValue(context.options.language);
    if (key == "@@ROWCOUNT")
        return TypedValue::integer(context.lastRowCount);
    if (key == "@@ERROR")
        return TypedValue::integer(context.lastError);
    if (key == "@@TRANCOUNT")
        return TypedValue::integer(context.session.transaction.count);
    if (key == "@@TEXTSIZE")
        return TypedValue::integer(context.options.textSize);
    if (key == "@@MAX_PRECISION")
        return TypedValue::integer(38, SqlType::TinyInt);
    throw errors::mustDeclareVariable(name);
}

} // namespace sqlemu
