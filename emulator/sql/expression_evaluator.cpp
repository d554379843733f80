#include "sql/expression_evaluator.h"

#include "sql/builtin_functions.h"
#include "sql/date_time_values.h"
#include "sql/execution_context.h"
#include "sql/sql_error.h"
#include "storage/collation.h"
#include "storage/utf8.h"

#include <limits>

namespace sqlemu {

namespace {

std::string columnText(const Expression &e)
{
    std::string text;
    for (const auto &part : e.parts)
        text += (text.empty() ? "" : ".") + part;
    return text;
}

std::int64_t asInteger(const TypedValue &v)
{
    if (const auto *n = std::get_if<std::int64_t>(&v.value))
        return *n;
    if (const auto *s = std::get_if<std::string>(&v.value))
        return textToInteger(*s, v.type, SqlType::Int);
    throw errors::operandTypeInvalid(typeName(v.type), "add");
}

// Integer results take the wider of the two types, as T-SQL's precedence does.
SqlType widerInteger(SqlType a, SqlType b)
{
    if (a == SqlType::BigInt || b == SqlType::BigInt)
        return SqlType::BigInt;
    return SqlType::Int;
}

} // namespace

TypedValue ExpressionEvaluator::column(const Expression &e, const ResultTable *table, std::size_t row)
{
    // Only the table of the FROM clause is in scope; its qualifier is not checked
    // beyond the column name, as the statements we run name a single table.
    const std::string &name = e.parts.back();
    std::optional<std::size_t> index = table ? table->columnIndex(name) : std::nullopt;
    if (!index)
        throw errors::invalidColumn(table ? name : columnText(e)).atLine(e.line);
    const ColumnInfo &info = table->columns[*index];
    TypedValue value = TypedValue::null(info.type, info.maxLength);
    if (row < table->rows.size())
        value.value = table->rows[row][*index];
    return value;
}

TypedValue ExpressionEvaluator::typeOf(const Expression &e, const ResultTable *table)
{
    switch (e.kind) {
    case Expression::Kind::Literal: {
        if (const auto *s = std::get_if<std::string>(&e.literal))
            return TypedValue::null(e.literalType, std::max<int>(1, static_cast<int>(utf8Length(*s))));
        return TypedValue::null(e.literalType);
    }
    case Expression::Kind::Variable: {
        Variable *v = m_context.variables.find(e.name);
        if (!v)
            throw errors::mustDeclareVariable(e.name).atLine(e.line);
        return TypedValue::null(v->type.type, v->type.length);
    }
    case Expression::Kind::SystemVariable: {
        TypedValue v = systemVariable(e.name, m_context);
        v.value = std::monostate{};
        return v;
    }
    case Expression::Kind::Column: {
        TypedValue v = column(e, table, std::numeric_limits<std::size_t>::max());
        return v;
    }
    case Expression::Kind::Function: {
        if (e.castType)
            return TypedValue::null(e.castType->type, e.castType->length);
        std::vector<TypedValue> types;
        for (const auto &a : e.arguments)
            types.push_back(typeOf(*a, table));
        return functionResultType(e.name, types);
    }
    case Expression::Kind::Negate:
        return typeOf(*e.arguments[0], table);
    case Expression::Kind::Binary: {
        TypedValue a = typeOf(*e.arguments[0], table);
        TypedValue b = typeOf(*e.arguments[1], table);
        // The literal NULL has no type of its own; it takes its partner's.
        auto untyped = [](const Expression &x) { return x.kind == Expression::Kind::Literal && isNull(x.literal); };
        if (untyped(*e.arguments[0]))
            a = b;
        else if (untyped(*e.arguments[1]))
            b = a;
        if (e.op == "+" && isTextType(a.type) && isTextType(b.type)) {
            const bool unicode = isUnicodeType(a.type) || isUnicodeType(b.type);
            const int limit = unicode ? 4000 : 8000;
            int length = (a.length < 0 || b.length < 0) ? -1 : std::min(limit, a.length + b.length);
            return TypedValue::null(unicode ? SqlType::NVarChar : SqlType::VarChar, length);
        }
        return TypedValue::null(widerInteger(a.type, b.type));
    }
    default:
        return TypedValue::null(SqlType::Int);
    }
}

std::optional<int> ExpressionEvaluator::compare(const TypedValue &a, const TypedValue &b)
{
    if (isNull(a.value) || isNull(b.value))
        return std::nullopt;
    const auto *sa = std::get_if<std::string>(&a.value);
    const auto *sb = std::get_if<std::string>(&b.value);
    // Two values of one date or time type compare in their canonical text,
    // whose order is theirs; of two different ones, as datetimes.
    const bool aKind = isDateTimeKind(a.type);
    const bool bKind = isDateTimeKind(b.type);
    if (sa && sb && (a.type == b.type || (!aKind && !bKind)))
        return collationCompare(*sa, *sb);
    // datetime outranks the text types: a text beside it is read as a date.
    const bool aDate = std::holds_alternative<DateTimeValue>(a.value) || aKind;
    const bool bDate = std::holds_alternative<DateTimeValue>(b.value) || bKind;
    if (aDate || bDate) {
        const auto asDate = [](const TypedValue &v) {
            if (isDateTimeKind(v.type))
                return std::get<DateTimeValue>(dateTimeKindToDateTime(v).value).millisecondsSince1900;
            if (const auto *d = std::get_if<DateTimeValue>(&v.value))
                return d->millisecondsSince1900;
            if (const auto *s = std::get_if<std::string>(&v.value))
                return textToDateTime(*s).millisecondsSince1900;
            throw errors::conversionNotAllowed(typeName(v.type), "datetime");
        };
        const std::int64_t x = asDate(a), y = asDate(b);
        return x < y ? -1 : (x == y ? 0 : 1);
    }
    // A number beside a text compares as numbers (int outranks varchar).
    const std::int64_t x = asInteger(a), y = asInteger(b);
    return x < y ? -1 : (x == y ? 0 : 1);
}

TypedValue ExpressionEvaluator::arithmetic(const Expression &e, const ResultTable *table, std::size_t row)
{
    const TypedValue a = evaluate(*e.arguments[0], table, row);
    const TypedValue b = evaluate(*e.arguments[1], table, row);
    TypedValue type = typeOf(e, table);
    if (e.op == "+" && isTextType(type.type) && !m_context.options.concatNullYieldsNull) {
        TypedValue result = type;
        result.value = valueAsText(a.value).value_or("") + valueAsText(b.value).value_or("");
        return result;
    }
    if (isNull(a.value) || isNull(b.value))
        return type;
    if (e.op == "+" && isTextType(type.type)) {
        TypedValue result = type;
        result.value = *valueAsText(a.value) + *valueAsText(b.value);
        return result;
    }
    const std::int64_t x = asInteger(a), y = asInteger(b);
    std::int64_t r = 0;
    bool overflow = false;
    if (e.op == "+")
        overflow = __builtin_add_overflow(x, y, &r);
    else if (e.op == "-")
        overflow = __builtin_sub_overflow(x, y, &r);
    else if (e.op == "*")
        overflow = __builtin_mul_overflow(x, y, &r);
    else {
        if (y == 0)
            throw errors::divideByZero().atLine(e.line);
        if (x == std::numeric_limits<std::int64_t>::min() && y == -1)
            overflow = true;
        else
            r = e.op == "/" ? x / y : x % y;
    }
    const SqlType resultType = type.type;
    if (!overflow && resultType == SqlType::Int && (r < INT32_MIN || r > INT32_MAX))
        overflow = true;
    if (overflow)
        throw errors::arithmeticOverflow(typeName(resultType)).atLine(e.line);
    return TypedValue::integer(r, resultType);
}

TypedValue ExpressionEvaluator::evaluate(const Expression &e, const ResultTable *table, std::size_t row)
{
    switch (e.kind) {
    case Expression::Kind::Literal: {
        TypedValue v = typeOf(e, table);
        v.value = e.literal;
        return v;
    }
    case Expression::Kind::Variable: {
        Variable *v = m_context.variables.find(e.name);
        if (!v)
            throw errors::mustDeclareVariable(e.name).atLine(e.line);
        return v->value;
    }
    case Expression::Kind::SystemVariable:
        return systemVariable(e.name, m_context);
    case Expression::Kind::Column:
        return column(e, table, row);
    case Expression::Kind::Function: {
        if (e.castType)
            return convertTo(evaluate(*e.arguments[0], table, row), *e.castType);
        std::vector<TypedValue> arguments;
        for (const auto &a : e.arguments)
            arguments.push_back(evaluate(*a, table, row));
        return callFunction(e.name, arguments, m_context);
    }
    case Expression::Kind::Negate: {
        TypedValue v = evaluate(*e.arguments[0], table, row);
        if (isNull(v.value))
            return v;
        const std::int64_t n = asInteger(v);
        if (n == std::numeric_limits<std::int64_t>::min())
            throw errors::arithmeticOverflow("bigint");
        return TypedValue::integer(-n, isIntegerType(v.type) ? v.type : SqlType::Int);
    }
    case Expression::Kind::Binary:
        if (e.op == "+" || e.op == "-" || e.op == "*" || e.op == "/" || e.op == "%")
            return arithmetic(e, table, row);
        break;
    default:
        break;
    }
    // A condition where a value is wanted; the parser refuses these.
    throw errors::syntaxNear(e.op.empty() ? e.name : e.op).atLine(e.line);
}

std::optional<bool> ExpressionEvaluator::test(const Expression &e, const ResultTable *table, std::size_t row)
{
    switch (e.kind) {
    case Expression::Kind::Not: {
        auto v = test(*e.arguments[0], table, row);
        return v ? std::optional<bool>(!*v) : std::nullopt;
    }
    case Expression::Kind::IsNull: {
        const bool null = isNull(evaluate(*e.arguments[0], table, row).value);
        return e.negated ? !null : null;
    }
    case Expression::Kind::Like: {
        const TypedValue text = evaluate(*e.arguments[0], table, row);
        const TypedValue pattern = evaluate(*e.arguments[1], table, row);
        auto t = valueAsText(text.value), p = valueAsText(pattern.value);
        if (!t || !p)
            return std::nullopt;
        const bool match = collationLike(*t, *p);
        return e.negated ? !match : match;
    }
    case Expression::Kind::Exists: {
        const SelectStatement &q = *e.subquery;
        if (!q.from) {
            if (!q.where)
                return true;
            return test(*q.where).value_or(false);
        }
        const ResultTable inner = resolveTable(*q.from, m_context);
        // Every column the subquery names must exist, rows or not.
        for (const auto &item : q.items)
            if (item.expression)
                typeOf(*item.expression, &inner);
        for (std::size_t r = 0; r < inner.rows.size(); ++r)
            if (!q.where || test(*q.where, &inner, r).value_or(false))
                return true;
        return false;
    }
    case Expression::Kind::Binary: {
        if (e.op == "AND") {
            auto a = test(*e.arguments[0], table, row);
            if (a == false)
                return false;
            auto b = test(*e.arguments[1], table, row);
            if (b == false)
                return false;
            if (a && b)
                return true;
            return std::nullopt;
        }
        if (e.op == "OR") {
            auto a = test(*e.arguments[0], table, row);
            if (a == true)
                return true;
            auto b = test(*e.arguments[1], table, row);
            if (b == true)
                return true;
            if (a && b)
                return false;
            return std::nullopt;
        }
        const TypedValue left = evaluate(*e.arguments[0], table, row);
        const TypedValue right = evaluate(*e.arguments[1], table, row);
        const bool equality = e.op == "=" || e.op == "<>" || e.op == "!=";
        if (equality && !m_context.options.ansiNulls && (isNull(left.value) || isNull(right.value))) {
            // ANSI_NULLS OFF: NULL equals NULL and nothing else.
            const bool same = isNull(left.value) && isNull(right.value);
            return e.op == "=" ? same : !same;
        }
        auto c = compare(left, right);
        if (!c)
            return std::nullopt;
        if (e.op == "=")
            return *c == 0;
        if (e.op == "<>" || e.op == "!=")
            return *c != 0;
        if (e.op == "<" || e.op == "!>")
            return e.op == "<" ? *c < 0 : *c <= 0;
        if (e.op == ">" || e.op == "!<")
            return e.op == ">" ? *c > 0 : *c >= 0;
        if (e.op == "<=")
            return *c <= 0;
        if (e.op == ">=")
            return *c >= 0;
        break;
    }
    default:
        break;
    }
    throw errors::syntaxNear(e.name).atLine(e.line);
}

} // namespace sqlemu
