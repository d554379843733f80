#include "sql/builtin_functions.h"
#include "sql/parser_core.h"

#include <algorithm>
#include <cctype>

namespace sqlemu::detail {

ExpressionPtr makeLiteral(Value value, SqlType type, int line)
{
    auto e = std::make_unique<Expression>();
    e->kind = Expression::Kind::Literal;
    e->literal = std::move(value);
    e->literalType = type;
    e->line = line;
    return e;
}

ExpressionPtr finished(ExpressionPtr e)
{
    constexpr int kMaxHeight = 1000;
    int below = 0;
    for (const auto &a : e->arguments)
        below = std::max(below, a ? a->height : 0);
    if (e->subquery) {
        for (const auto &item : e->subquery->items)
            below = std::max(below, item.expression ? item.expression->height : 0);
        if (e->subquery->where)
            below = std::max(below, e->subquery->where->height);
    }
    e->height = below + 1;
    if (e->height > kMaxHeight)
        throw errors::nestedTooDeeply().atLine(e->line);
    return e;
}

bool isCondition(const Expression &e)
{
    switch (e.kind) {
    case Expression::Kind::Not:
    case Expression::Kind::Like:
    case Expression::Kind::IsNull:
    case Expression::Kind::Exists:
        return true;
    case Expression::Kind::Binary:
        return e.op == "AND" || e.op == "OR" || e.op == "=" || e.op == "<>" || e.op == "!=" || e.op == "<"
            || e.op == ">" || e.op == "<=" || e.op == ">=" || e.op == "!<" || e.op == "!>";
    default:
        return false;
    }
}

namespace {

ExpressionPtr makeBinary(std::string op, ExpressionPtr left, ExpressionPtr right, int line)
{
    auto e = std::make_unique<Expression>();
    e->kind = Expression::Kind::Binary;
    e->op = std::move(op);
    e->line = line;
    e->arguments.push_back(std::move(left));
    e->arguments.push_back(std::move(right));
    return finished(std::move(e));
}

} // namespace

ExpressionPtr Parser::parseExpression()
{
    return parseOr();
}

ExpressionPtr Parser::parseScalar()
{
    auto e = parseOr();
    if (isCondition(*e)) {
        // T-SQL has no truth values outside conditions; a real server
        // stops at the operator that made one.
        std::string near = e->op;
        if (e->kind == Expression::Kind::Like)
            near = "LIKE";
        else if (e->kind == Expression::Kind::IsNull)
            near = "IS";
        else if (e->kind == Expression::Kind::Exists)
            near = "EXISTS";
        else if (e->kind == Expression::Kind::Not)
            near = "NOT";
        if (isReservedKeyword(near))
            throw errors::syntaxNearKeyword(near).atLine(e->line);
        throw errors::syntaxNear(near).atLine(e->line);
    }
    return e;
}

ExpressionPtr Parser::parseOr()
{
    DepthGuard guard(*this);
    auto left = parseAnd();
    while (peek().isWord("OR")) {
        const int line = take().line;
        auto right = parseAnd();
        if (!isCondition(*left) || !isCondition(*right))
            failHere();
        left = makeBinary("OR", std::move(left), std::move(right), line);
    }
    return left;
}

ExpressionPtr Parser::parseAnd()
{
    auto left = parseNot();
    while (peek().isWord("AND")) {
        const int line = take().line;
        auto right = parseNot();
        if (!isCondition(*left) || !isCondition(*right))
            failHere();
        left = makeBinary("AND", std::move(left), std::move(right), line);
    }
    return left;
}

ExpressionPtr Parser::parseNot()
{
    DepthGuard guard(*this);
    if (peek().isWord("NOT")) {
        const int line = take().line;
        auto operand = parseNot();
        if (!isCondition(*operand))
            failHere();
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::Not;
        e->line = line;
        e->arguments.push_back(std::move(operand));
        return finished(std::move(e));
    }
    return parsePredicate();
}

ExpressionPtr Parser::parsePredicate()
{
    if (peek().isWord("EXISTS")) {
        const int line = take().line;
        expectSymbol("(");
        expectWord("SELECT");
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::Exists;
        e->line = line;
        e->subquery = std::make_unique<SelectStatement>(parseSelect());
        expectSymbol(")");
        return finished(std::move(e));
    }
    auto left = parseAdditive();
    const Token &t = peek();
    static constexpr std::string_view kComparisons[] = {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"};
    for (auto op : kComparisons) {
        if (t.isSymbol(op)) {
            take();
            auto right = parseAdditive();
            if (isCondition(*left) || isCondition(*right))
                failHere();
            return makeBinary(std::string(op), std::move(left), std::move(right), t.line);
        }
    }
    const bool negated = t.isWord("NOT") && peek(1).isWord("LIKE");
    if (negated)
        take();
    if (acceptWord("LIKE")) {
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::Like;
        e->negated = negated;
        e->line = t.line;
        e->arguments.push_back(std::move(left));
        e->arguments.push_back(parseAdditive());
        if (peek().isWord("ESCAPE"))
            throw errors::notSupportedYet("LIKE ... ESCAPE").atLine(peek().line);
        return finished(std::move(e));
    }
    if (acceptWord("IS")) {
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::IsNull;
        e->negated = acceptWord("NOT");
        expectWord("NULL");
        e->line = t.line;
        e->arguments.push_back(std::move(left));
        return finished(std::move(e));
    }
    if (peek().isWord("IN") || peek().isWord("BETWEEN") || (peek().isWord("NOT") && !negated))
        throw errors::notSupportedYet(peek().text).atLine(peek().line);
    return left;
}

ExpressionPtr Parser::parseAdditive()
{
    auto left = parseMultiplicative();
    while (peek().isSymbol("+") || peek().isSymbol("-")) {
        const Token &op = take();
        auto right = parseMultiplicative();
        if (isCondition(*left) || isCondition(*right))
            failAt(op);
        left = makeBinary(op.text, std::move(left), std::move(right), op.line);
    }
    return left;
}

ExpressionPtr Parser::parseMultiplicative()
{
    auto left = parseUnary();
    while (peek().isSymbol("*") || peek().isSymbol("/") || peek().isSymbol("%")) {
        const Token &op = take();
        auto right = parseUnary();
        if (isCondition(*left) || isCondition(*right))
            failAt(op);
        left = makeBinary(op.text, std::move(left), std::move(right), op.line);
    }
    return left;
}

ExpressionPtr Parser::parseUnary()
{
    DepthGuard guard(*this);
    if (peek().isSymbol("-")) {
        const int line = take().line;
        auto operand = parseUnary();
        if (isCondition(*operand))
            failHere();
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::Negate;
        e->line = line;
        e->arguments.push_back(std::move(operand));
        return finished(std::move(e));
    }
    if (acceptSymbol("+"))
        return parseUnary();
    return parsePrimary();
}

ExpressionPtr Parser::parsePrimary()
{
    const Token &t = peek();
    switch (t.kind) {
    case TokenKind::String:
        take();
        return makeLiteral(t.text, SqlType::VarChar, t.line);
    case TokenKind::UnicodeString:
        take();
        return makeLiteral(t.text, SqlType::NVarChar, t.line);
    case TokenKind::Integer: {
        take();
        // Digits beyond bigint are numeric on a real server; we keep them
        // as text-free integers only when they fit.
        if (t.text.size() > 18)
            throw errors::notSupportedYet("numbers this large").atLine(t.line);
        const std::int64_t n = std::stoll(t.text);
        return makeLiteral(n, n > 2147483647 ? SqlType::BigInt : SqlType::Int, t.line);
    }
    case TokenKind::Decimal:
    case TokenKind::Binary:
        throw errors::notSupportedYet("decimal and binary literals").atLine(t.line);
    case TokenKind::Variable: {
        take();
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::Variable;
        e->name = useVariable(t);
        e->line = t.line;
        return e;
    }
    case TokenKind::SystemVariable: {
        take();
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::SystemVariable;
        checkSystemVariable(t.text, t.line);
        e->name = t.text;
        e->line = t.line;
        return e;
    }
    case TokenKind::Symbol:
        if (t.isSymbol("(")) {
            take();
            if (peek().isWord("SELECT"))
                throw errors::notSupportedYet("subqueries").atLine(peek().line);
            auto inner = parseOr();
            expectSymbol(")");
            return inner;
        }
        failHere();
    case TokenKind::Word:
        if (t.isWord("NULL")) {
            take();
            return makeLiteral(std::monostate{}, SqlType::Int, t.line);
        }
        if (peek(1).isSymbol("(")
            && (!t.isReservedKeyword() || t.isWord("COALESCE") || t.isWord("NULLIF") || t.isWord("CONVERT")))
            return parseFunctionCall(take());
        if (t.isWord("CURRENT_TIMESTAMP") || t.isWord("CURRENT_USER") || t.isWord("SESSION_USER")
            || t.isWord("SYSTEM_USER") || t.isWord("USER")) {
            take();
            auto e = std::make_unique<Expression>();
            e->kind = Expression::Kind::Function;
            e->name = t.text;
            e->line = t.line;
            return e;
        }
        [[fallthrough]];
    case TokenKind::QuotedName: {
        if (t.isReservedKeyword())
            failHere();
        auto e = std::make_unique<Expression>();
        e->kind = Expression::Kind::Column;
        e->line = t.line;
        e->parts = parseMultipartName(nullptr);
        return e;
    }
    case TokenKind::End:
        failHere();
    }
    failHere();
}

ExpressionPtr Parser::parseFunctionCall(const Token &name)
{
    auto e = std::make_unique<Expression>();
    e->kind = Expression::Kind::Function;
    e->name = name.text;
    e->line = name.line;
    expectSymbol("(");
    // In a conversion a text type without a length is 30 characters long.
    const auto conversionType = [this] {
        DataType type = parseDataType();
        if (type.length == 1 && !m_tokens[m_pos - 1].isSymbol(")"))
            type.length = 30;
        return type;
    };
    if (name.isWord("CAST")) {
        e->arguments.push_back(parseScalar());
        expectWord("AS");
        e->castType = conversionType();
        expectSymbol(")");
        return finished(std::move(e));
    }
    if (name.isWord("CONVERT")) {
        // The style (a third argument) only shapes dates and money, which
        // no statement here converts to text.
        e->castType = conversionType();
        expectSymbol(",");
        e->arguments.push_back(parseScalar());
        if (acceptSymbol(","))
            parseScalar();
        expectSymbol(")");
        return finished(std::move(e));
    }
    if (name.isWord("COUNT") && acceptSymbol("*")) {
        // COUNT(*) counts rows; it is kept as a call without arguments.
        expectSymbol(")");
        e->op = "*";
        return finished(std::move(e));
    }
    if (!acceptSymbol(")")) {
        do {
            e->arguments.push_back(parseScalar());
        } while (acceptSymbol(","));
        expectSymbol(")");
    }
    checkFunctionCall(e->name, e->arguments.size(), e->line);
    return finished(std::move(e));
}

ExpressionPtr Parser::parseOptionValue()
{
    const Token &t = peek();
    if (t.kind == TokenKind::Word && !t.isReservedKeyword() && !peek(1).isSymbol("(") && !peek(1).isSymbol(".")) {
        // A bare word passed to a procedure or option is a string.
        take();
        return makeLiteral(t.text, SqlType::NVarChar, t.line);
    }
    if (t.kind == TokenKind::QuotedName) {
        take();
        return makeLiteral(t.text, SqlType::NVarChar, t.line);
    }
    if (t.isSymbol("-") && peek(1).kind == TokenKind::Integer)
        return parseUnary();
    if (t.kind == TokenKind::String || t.kind == TokenKind::UnicodeString || t.kind == TokenKind::Integer
        || t.kind == TokenKind::Variable || t.isWord("NULL"))
        return parsePrimary();
    failHere();
}

} // namespace sqlemu::detail
