#include "sql/parser.h"

#include "sql/parser_core.h"
#include "sql/tokenizer.h"
#include "storage/collation.h"

#include <algorithm>
#include <cctype>

namespace sqlemu {

namespace detail {

namespace {

// Words that begin a statement; a statement without a separator ends where
// one of them starts.
constexpr std::string_view kStatementStarts[] = {
    "ALTER",    "BACKUP",     "BEGIN",   "BREAK",   "CHECKPOINT", "CLOSE",    "COMMIT", "CONTINUE", "CREATE",
    "DBCC",     "DEALLOCATE", "DECLARE", "DELETE",  "DENY",       "DROP",     "ELSE",   "END",      "EXEC",
    "EXECUTE",  "FETCH",      "GOTO",    "GRANT",   "IF",         "INSERT",   "KILL",   "MERGE",    "OPEN",
    "PRINT",    "RAISERROR",  "RESTORE", "RETURN",  "REVOKE",     "ROLLBACK", "SAVE",   "SELECT",   "SET",
    "TRUNCATE", "UPDATE",     "USE",     "WAITFOR", "WHILE",      "WITH",
};

// Statements a real server knows but this one does not run; a batch holding
// one is refused as a whole, never half run.
constexpr std::string_view kUnsupportedStarts[] = {
    "BREAK", "CLOSE", "CONTINUE", "DEALLOCATE", "DELETE", "DENY",   "FETCH",    "GOTO",   "GRANT", "INSERT",
    "KILL",  "MERGE", "OPEN",     "RAISERROR",  "RETURN", "REVOKE", "TRUNCATE", "UPDATE", "WHILE",
};

} // namespace

Parser::DepthGuard::DepthGuard(Parser &parser)
    : m_parser(parser)
{
    constexpr int kMaxDepth = 200;
    if (++m_parser.m_depth > kMaxDepth) {
        --m_parser.m_depth;
        throw errors::nestedTooDeeply().atLine(m_parser.peek().line);
    }
}

Parser::Parser(Tokens tokens, const ParserOptions &options)
    : m_tokens(std::move(tokens))
    , m_options(options)
    , m_declared(options.predeclaredVariables)
{}

const Token &Parser::peek(std::size_t ahead) const
{
    const std::size_t i = std::min(m_pos + ahead, m_tokens.size() - 1);
    return m_tokens[i];
}

const Token &Parser::take()
{
    const Token &t = m_tokens[m_pos];
    if (m_pos + 1 < m_tokens.size())
        ++m_pos;
    return t;
}

bool Parser::acceptSymbol(std::string_view symbol)
{
    if (!peek().isSymbol(symbol))
        return false;
    take();
    return true;
}

bool Parser::acceptWord(std::string_view keyword)
{
    if (!peek().isWord(keyword))
        return false;
    take();
    return true;
}

void Parser::expectSymbol(std::string_view symbol)
{
    if (!acceptSymbol(symbol))
        failHere();
}

void Parser::expectWord(std::string_view keyword)
{
    if (!acceptWord(keyword))
        failHere();
}

void Parser::failAt(const Token &token) const
{
    if (token.kind == TokenKind::End) {
        // At the end of the batch a real server names the last thing it read.
        if (m_tokens.size() > 1)
            failAt(m_tokens[m_tokens.size() - 2]);
        throw errors::syntaxNear("").atLine(token.line);
    }
    if (token.isReservedKeyword())
        throw errors::syntaxNearKeyword(token.text).atLine(token.line);
    throw errors::syntaxNear(token.text).atLine(token.line);
}

void Parser::failHere() const
{
    failAt(peek());
}

bool Parser::atStatementStart() const
{
    const Token &t = peek();
    if (t.kind == TokenKind::End || t.isSymbol(";"))
        return true;
    if (t.kind != TokenKind::Word)
        return false;
    const std::string word = asciiUpper(t.text);
    return std::find(std::begin(kStatementStarts), std::end(kStatementStarts), word) != std::end(kStatementStarts);
}

std::string Parser::useVariable(const Token &token)
{
    for (const auto &name : m_declared)
        if (sameName(name, token.text))
            return token.text;
    throw errors::mustDeclareVariable(token.text).atLine(token.line);
}

Batch Parser::parseBatch()
{
    Batch batch;
    while (auto statement = nextStatement())
        batch.statements.push_back(std::move(statement));
    return batch;
}

StatementPtr Parser::nextStatement()
{
    while (acceptSymbol(";")) {}
    if (atEnd())
        return nullptr;
    auto statement = parseStatement(m_firstStatement);
    m_firstStatement = false;
    return statement;
}

std::vector<DeclareStatement::Variable> Parser::parseParameterList()
{
    std::vector<DeclareStatement::Variable> list;
    if (atEnd())
        return list;
    do {
        list.push_back(parseVariableDeclaration());
        list.back().output = acceptWord("OUTPUT") || acceptWord("OUT");
    } while (acceptSymbol(","));
    if (!atEnd())
        failHere();
    return list;
}

StatementPtr Parser::parseStatement(bool firstInBatch)
{
    DepthGuard guard(*this);
    auto statement = std::make_unique<Statement>();
    const Token &t = peek();
    statement->line = t.line;
    const std::string word = t.kind == TokenKind::Word ? asciiUpper(t.text) : std::string();

    // Each statement's keyword, taken before its parser runs.
    using StatementParser = Statement::Body (*)(Parser &, const Token &keyword);
    static const std::pair<std::string_view, StatementParser> kStatements[] = {
        {"USE", [](Parser &p, const Token &) -> Statement::Body { return p.parseUse(); }},
        {"DECLARE", [](Parser &p, const Token &) -> Statement::Body { return p.parseDeclare(); }},
        {"SET", [](Parser &p, const Token &) { return p.parseSet(); }},
        {"SELECT", [](Parser &p, const Token &) -> Statement::Body { return p.parseSelect(); }},
        {"EXEC", [](Parser &p, const Token &) -> Statement::Body { return p.parseExecute(true); }},
        {"EXECUTE", [](Parser &p, const Token &) -> Statement::Body { return p.parseExecute(true); }},
        {"IF", [](Parser &p, const Token &) -> Statement::Body { return p.parseIf(); }},
        {"BEGIN",
         [](Parser &p, const Token &keyword) -> Statement::Body {
             if (p.peek().isWord("DISTRIBUTED"))
                 throw errors::notSupportedYet("BEGIN DISTRIBUTED TRANSACTION").atLine(keyword.line);
             if (p.peek().isWord("TRAN") || p.peek().isWord("TRANSACTION"))
                 return p.parseTransaction(TransactionStatement::Kind::Begin);
             return p.parseBlock();
         }},
        {"COMMIT",
         [](Parser &p, const Token &) -> Statement::Body {
             return p.parseTransaction(TransactionStatement::Kind::Commit);
         }},
        {"ROLLBACK",
         [](Parser &p, const Token &) -> Statement::Body {
             return p.parseTransaction(TransactionStatement::Kind::Rollback);
         }},
        {"SAVE",
         [](Parser &p, const Token &) -> Statement::Body {
             return p.parseTransaction(TransactionStatement::Kind::Save);
         }},
        {"WAITFOR", [](Parser &p, const Token &) -> Statement::Body { return p.parseWaitfor(); }},
        {"PRINT", [](Parser &p, const Token &) -> Statement::Body { return PrintStatement{p.parseScalar()}; }},
        {"CHECKPOINT",
         [](Parser &p, const Token &) -> Statement::Body {
             if (p.peek().kind == TokenKind::Integer)
                 p.take();
             return CheckpointStatement{};
         }},
        {"BACKUP", [](Parser &p, const Token &) -> Statement::Body { return p.parseBackup(); }},
        {"RESTORE", [](Parser &p, const Token &) -> Statement::Body { return p.parseRestore(); }},
        {"CREATE", [](Parser &p, const Token &) -> Statement::Body { return p.parseCreate(); }},
        {"ALTER", [](Parser &p, const Token &) -> Statement::Body { return p.parseAlter(); }},
        {"DROP", [](Parser &p, const Token &) -> Statement::Body { return p.parseDrop(); }},
        {"DBCC", [](Parser &p, const Token &) -> Statement::Body { return p.parseDbcc(); }},
    };
    for (const auto &[keyword, parse] : kStatements) {
        if (word == keyword) {
            take();
            statement->body = parse(*this, t);
            return statement;
        }
    }
    if (!word.empty()
        && std::find(std::begin(kUnsupportedStarts), std::end(kUnsupportedStarts), word)
            != std::end(kUnsupportedStarts)) {
        throw errors::notSupportedYet(word).atLine(t.line);
    }
    if (firstInBatch && (t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !t.isReservedKeyword()))) {
        // A procedure name alone at the start of a batch runs the procedure.
        statement->body = parseExecute(false);
        return statement;
    }
    failHere();
}

std::string Parser::parseName()
{
    const Token &t = peek();
    if (t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !t.isReservedKeyword()))
        return take().text;
    failHere();
}

std::vector<std::string> Parser::parseMultipartName(std::string *written)
{
    std::vector<std::string> parts;
    std::string text;
    while (true) {
        if (peek().isSymbol(".")) {
            // master..sysdatabases leaves the schema out.
            parts.emplace_back();
        } else {
            parts.push_back(parseName());
            text += parts.back();
        }
        if (!acceptSymbol("."))
            break;
        text += ".";
        if (parts.size() >= 4)
            failHere();
    }
    if (parts.back().empty())
        failHere();
    if (written)
        *written = text;
    return parts;
}

UseStatement Parser::parseUse()
{
    return UseStatement{parseName()};
}

DataType Parser::parseDataType()
{
    const Token &t = peek();
    if (t.kind != TokenKind::Word && t.kind != TokenKind::QuotedName)
        failHere();
    const std::string name = asciiUpper(take().text);
    DataType type;
    type.written = name;
    bool text = false;
    if (name == "INT" || name == "INTEGER")
        type.type = SqlType::Int;
    else if (name == "SMALLINT")
        type.type = SqlType::SmallInt;
    else if (name == "TINYINT")
        type.type = SqlType::TinyInt;
    else if (name == "BIGINT")
        type.type = SqlType::BigInt;
    else if (name == "BIT")
        type.type = SqlType::Bit;
    else if (name == "DATETIME")
        type.type = SqlType::DateTime;
    else if (name == "UNIQUEIDENTIFIER")
        type.type = SqlType::UniqueIdentifier;
    else if (name == "SYSNAME") {
        type.type = SqlType::NVarChar;
        type.length = 128;
    } else if (name == "VARCHAR" || name == "NVARCHAR" || name == "CHAR" || name == "NCHAR" || name == "VARBINARY") {
        type.type = name == "VARCHAR" ? SqlType::VarChar
            : name == "NVARCHAR"      ? SqlType::NVarChar
            : name == "CHAR"          ? SqlType::Char
            : name == "NCHAR"         ? SqlType::NChar
                                      : SqlType::VarBinary;
        type.length = 1;
        text = true;
    } else if (name == "DECIMAL" || name == "NUMERIC") {
        type.type = SqlType::Decimal;
        type.length = 18;
        if (acceptSymbol("(")) {
            if (peek().kind != TokenKind::Integer)
                failHere();
            type.length = std::stoi(take().text.substr(0, 3));
            if (acceptSymbol(",")) {
                if (peek().kind != TokenKind::Integer)
                    failHere();
                take();
            }
            expectSymbol(")");
        }
        return type;
    } else if (m_options.dateTypesAllowed
               && (name == "DATE" || name == "TIME" || name == "DATETIME2" || name == "DATETIMEOFFSET")) {
        type.type = name == "DATE" ? SqlType::Date
            : name == "TIME"       ? SqlType::Time
            : name == "DATETIME2"  ? SqlType::DateTime2
                                   : SqlType::DateTimeOffset;
        type.length = name == "DATE" ? 0 : 7; // the scale: digits of a second's fraction
        if (name != "DATE" && acceptSymbol("(")) {
            const Token &n = peek();
            if (n.kind != TokenKind::Integer || n.text.size() > 1 || n.text[0] > '7')
                throw errors::invalidScale(n.text).atLine(n.line);
            type.length = std::stoi(take().text);
            expectSymbol(")");
        }
        return type;
    } else {
        throw errors::unknownDataType(t.text).atLine(t.line);
    }
    if (text && acceptSymbol("(")) {
        if (acceptWord("MAX")) {
            type.length = -1;
        } else {
            const Token &n = peek();
            if (n.kind != TokenKind::Integer || n.text.size() > 5)
                failHere();
            type.length = std::stoi(take().text);
            const int limit = (type.type == SqlType::NVarChar || type.type == SqlType::NChar) ? 4000 : 8000;
            if (type.length < 1 || type.length > limit)
                throw errors::typeSizeTooLarge(n.text, t.text, limit).atLine(n.line);
        }
        expectSymbol(")");
    }
    return type;
}

DeclareStatement::Variable Parser::parseVariableDeclaration()
{
    const Token &t = peek();
    if (t.kind != TokenKind::Variable)
        failHere();
    take();
    for (const auto &name : m_declared)
        if (sameName(name, t.text))
            throw errors::variableAlreadyDeclared(t.text).atLine(t.line);
    DeclareStatement::Variable variable;
    variable.name = t.text;
    acceptWord("AS");
    if (peek().isWord("TABLE") || peek().isWord("CURSOR"))
        throw errors::notSupportedYet("DECLARE " + asciiUpper(peek().text)).atLine(peek().line);
    variable.type = parseDataType();
    if (peek().isSymbol("=")) {
        if (!m_options.declareInitializerAllowed)
            throw errors::localVariableDefaultNotAllowed().atLine(peek().line);
        take();
        variable.initialValue = parseScalar();
    }
    m_declared.push_back(variable.name);
    return variable;
}

DeclareStatement Parser::parseDeclare()
{
    DeclareStatement declare;
    do {
        declare.variables.push_back(parseVariableDeclaration());
    } while (acceptSymbol(","));
    return declare;
}

std::string Parser::parseOnOff()
{
    if (acceptWord("ON"))
        return "ON";
    if (!acceptWord("OFF"))
        failHere();
    return "OFF";
}

Statement::Body Parser::parseSet()
{
    const Token &t = peek();
    if (t.kind == TokenKind::Variable) {
        take();
        SetVariableStatement set;
        set.variable = useVariable(t);
        expectSymbol("=");
        set.value = parseScalar();
        return set;
    }
    if (t.kind != TokenKind::Word)
        failHere();
    SetOptionStatement option;
    const std::string first = asciiUpper(take().text);
    static constexpr std::string_view kOnOff[] = {
        "ANSI_DEFAULTS",
        "ANSI_NULL_DFLT_OFF",
        "ANSI_NULL_DFLT_ON",
        "ANSI_NULLS",
        "ANSI_PADDING",
        "ANSI_WARNINGS",
        "ARITHABORT",
        "ARITHIGNORE",
        "CONCAT_NULL_YIELDS_NULL",
        "CURSOR_CLOSE_ON_COMMIT",
        "FMTONLY",
        "FORCEPLAN",
        "IMPLICIT_TRANSACTIONS",
        "NO_BROWSETABLE",
        "NOCOUNT",
        "NOEXEC",
        "NUMERIC_ROUNDABORT",
        "PARSEONLY",
        "QUOTED_IDENTIFIER",
        "REMOTE_PROC_TRANSACTIONS",
        "SHOWPLAN_ALL",
        "SHOWPLAN_TEXT",
        "SHOWPLAN_XML",
        "XACT_ABORT",
    };
    if (std::find(std::begin(kOnOff), std::end(kOnOff), first) != std::end(kOnOff)) {
        option.option = first;
        // SET NOCOUNT, ANSI_NULLS ON sets several at once; only one here.
        option.value = parseOnOff();
        return option;
    }
    if (first == "STATISTICS") {
        const Token &what = peek();
        if (!(what.isWord("IO") || what.isWord("TIME") || what.isWord("XML") || what.isWord("PROFILE")))
            failHere();
        option.option = "STATISTICS " + asciiUpper(take().text);
        option.value = parseOnOff();
        return option;
    }
    if (first == "TEXTSIZE" || first == "DATEFIRST" || first == "LOCK_TIMEOUT" || first == "ROWCOUNT") {
        option.option = first;
        const bool negative = acceptSymbol("-");
        const Token &n = peek();
        if (n.kind == TokenKind::Integer && n.text.size() <= 10)
            option.value = (negative ? "-" : "") + take().text;
        else if (n.kind == TokenKind::Variable && !negative)
            option.value = useVariable(take());
        else
            failHere();
        return option;
    }
    if (first == "DATEFORMAT" || first == "LANGUAGE" || first == "DEADLOCK_PRIORITY") {
        option.option = first;
        const Token &v = peek();
        if (v.kind == TokenKind::Word || v.kind == TokenKind::QuotedName || v.kind == TokenKind::String
            || v.kind == TokenKind::UnicodeString)
            option.value = take().text;
        else
            failHere();
        return option;
    }
    if (first == "TRANSACTION" || first == "TRAN") {
        expectWord("ISOLATION");
        expectWord("LEVEL");
        option.option = "TRANSACTION ISOLATION LEVEL";
        if (acceptWord("READ")) {
            if (acceptWord("COMMITTED"))
                option.value = "READ COMMITTED";
            else if (acceptWord("UNCOMMITTED"))
                option.value = "READ UNCOMMITTED";
            else
                failHere();
        } else if (acceptWord("REPEATABLE")) {
            expectWord("READ");
            option.value = "REPEATABLE READ";
        } else if (acceptWord("SNAPSHOT")) {
            option.value = "SNAPSHOT";
        } else if (acceptWord("SERIALIZABLE")) {
            option.value = "SERIALIZABLE";
        } else {
            failHere();
        }
        return option;
    }
    throw errors::unknownSetOption(t.text).atLine(t.line);
}

SelectStatement Parser::parseSelect()
{
    SelectStatement select;
    if (acceptWord("TOP")) {
        const bool parenthesis = acceptSymbol("(");
        if (peek().kind != TokenKind::Integer || peek().text.size() > 18)
            failHere();
        select.top = std::stoll(take().text);
        if (parenthesis)
            expectSymbol(")");
    }
    if (peek().isWord("DISTINCT") || peek().isWord("ALL") || peek().isWord("INTO"))
        throw errors::notSupportedYet(asciiUpper(peek().text)).atLine(peek().line);
    do {
        SelectItem item;
        const Token &t = peek();
        if (acceptSymbol("*")) {
            select.items.push_back(std::move(item));
            continue;
        }
        if (t.kind == TokenKind::Variable && peek(1).isSymbol("=")) {
            take();
            item.assignTo = useVariable(t);
            take();
            item.expression = parseScalar();
        } else if ((t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !t.isReservedKeyword()))
                   && peek(1).isSymbol("=")) {
            item.alias = take().text;
            take();
            item.expression = parseScalar();
        } else {
            item.expression = parseScalar();
            const bool as = acceptWord("AS");
            const Token &a = peek();
            if (a.kind == TokenKind::QuotedName || a.kind == TokenKind::String || a.kind == TokenKind::UnicodeString
                || (a.kind == TokenKind::Word && !a.isReservedKeyword()))
                item.alias = take().text;
            else if (as)
                failHere();
        }
        select.items.push_back(std::move(item));
    } while (acceptSymbol(","));

    const bool assigns = !select.items.front().assignTo.empty();
    for (const auto &item : select.items) {
        if (item.assignTo.empty() != assigns)
            continue;
        throw errors::assignmentMixedWithRetrieval().atLine(peek().line);
    }

    if (acceptWord("FROM")) {
        TableReference table;
        table.line = peek().line;
        table.parts = parseMultipartName(&table.written);
        if (table.parts.size() > 3)
            failHere();
        if (acceptWord("AS"))
            parseName();
        else if (peek().kind == TokenKind::QuotedName
                 || (peek().kind == TokenKind::Word && !peek().isReservedKeyword()))
            take();
        select.from = std::move(table);
    }
    if (acceptWord("WHERE")) {
        select.where = parseExpression();
        if (!isCondition(*select.where))
            failHere();
    }
    if (peek().isWord("GROUP") || peek().isWord("HAVING") || peek().isWord("UNION"))
        throw errors::notSupportedYet(asciiUpper(peek().text)).atLine(peek().line);
    if (acceptWord("ORDER")) {
        expectWord("BY");
        do {
            OrderItem item;
            const Token &t = peek();
            if (t.kind == TokenKind::Integer) {
                if (t.text.size() > 18)
                    failHere();
                item.position = std::stoll(take().text);
                if (*item.position < 1 || *item.position > static_cast<std::int64_t>(select.items.size()))
                    throw errors::orderByPositionOutOfRange(*item.position).atLine(t.line);
            } else {
                item.expression = parseScalar();
            }
            if (acceptWord("DESC"))
                item.descending = true;
            else
                acceptWord("ASC");
            select.orderBy.push_back(std::move(item));
        } while (acceptSymbol(","));
        if (peek().isWord("OFFSET"))
            throw errors::notSupportedYet("OFFSET").atLine(peek().line);
    }
    return select;
}

ExecuteStatement Parser::parseExecute(bool keywordGiven)
{
    ExecuteStatement exec;
    if (keywordGiven && peek().isSymbol("("))
        throw errors::notSupportedYet("EXECUTE of a string").atLine(peek().line);
    if (peek().kind == TokenKind::Variable && peek(1).isSymbol("=")) {
        exec.returnVariable = useVariable(take());
        take();
    }
    if (peek().kind == TokenKind::Variable)
        throw errors::notSupportedYet("EXECUTE of a procedure named by a variable").atLine(peek().line);
    exec.procedure = parseMultipartName(nullptr);
    if (atStatementStart())
        return exec;
    do {
        ExecuteArgument argument;
        if (peek().kind == TokenKind::Variable && peek(1).isSymbol("=")) {
            argument.name = take().text;
            take();
        }
        if (acceptWord("DEFAULT")) {
        } else if (peek().kind == TokenKind::Variable) {
            const Token &v = take();
            argument.value = std::make_unique<Expression>();
            argument.value->kind = Expression::Kind::Variable;
            argument.value->name = useVariable(v);
            argument.value->line = v.line;
        } else {
            argument.value = parseOptionValue();
        }
        if (acceptWord("OUTPUT") || acceptWord("OUT"))
            argument.output = true;
        exec.arguments.push_back(std::move(argument));
    } while (acceptSymbol(","));
    return exec;
}

IfStatement Parser::parseIf()
{
    IfStatement statement;
    statement.condition = parseExpression();
    if (!isCondition(*statement.condition))
        failHere();
    if (atEnd())
        failHere();
    statement.then = parseStatement(false);
    if (acceptWord("ELSE"))
        statement.otherwise = parseStatement(false);
    return statement;
}

BlockStatement Parser::parseBlock()
{
    BlockStatement block;
    while (!peek().isWord("END")) {
        if (atEnd())
            failHere();
        if (acceptSymbol(";"))
            continue;
        block.statements.push_back(parseStatement(false));
    }
    take();
    return block;
}

WaitforStatement Parser::parseWaitfor()
{
    if (peek().isWord("TIME"))
        throw errors::notSupportedYet("WAITFOR TIME").atLine(peek().line);
    expectWord("DELAY");
    const Token &t = peek();
    if (t.kind == TokenKind::Variable) {
        take();
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::Variable;
        e->name = useVariable(t);
        e->line = t.line;
        return WaitforStatement{std::move(e)};
    }
    if (t.kind != TokenKind::String && t.kind != TokenKind::UnicodeString)
        failHere();
    take();
    return WaitforStatement{
        makeLiteral(t.text, t.kind == TokenKind::String ? SqlType::VarChar : SqlType::NVarChar, t.line)};
}

} // namespace detail

namespace {

detail::Parser makeParser(std::string_view text, const ParserOptions &options)
{
    TokenizerOptions tokenizerOptions;
    tokenizerOptions.quotedIdentifier = options.quotedIdentifier;
    tokenizerOptions.onTokens = options.onTokens;
    return detail::Parser(tokenize(text, tokenizerOptions), options);
}

} // namespace

Batch parseBatch(std::string_view text, const ParserOptions &options)
{
    return makeParser(text, options).parseBatch();
}

StatementStream::StatementStream(std::string_view text, const ParserOptions &options)
    : m_parser(std::make_unique<detail::Parser>(makeParser(text, options)))
{}

StatementStream::~StatementStream() = default;

StatementPtr StatementStream::next()
{
    return m_parser->nextStatement();
}

std::vector<DeclareStatement::Variable> parseParameterDeclarations(std::string_view text)
{
    detail::Parser parser(tokenize(text), ParserOptions{});
    return parser.parseParameterList();
}

} // namespace sqlemu
