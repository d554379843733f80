#pragma once

#include "sql/ast.h"
#include "sql/sql_value.h"
#include "sql/system_tables.h"

#include <optional>

namespace sqlemu {

struct ExecutionContext;

// Evaluates expressions against the batch's variables and, inside a SELECT,
// one row of the table it reads. Conditions follow SQL's three-valued logic:
// nullopt is UNKNOWN.
class ExpressionEvaluator {
public:
    explicit ExpressionEvaluator(ExecutionContext &context)
        : m_context(context)
    {}

    TypedValue evaluate(const Expression &e, const ResultTable *table = nullptr, std::size_t row = 0);
    std::optional<bool> test(const Expression &e, const ResultTable *table = nullptr, std::size_t row = 0);

    // The type a result column of this expression has, rows or not.
    TypedValue typeOf(const Expression &e, const ResultTable *table = nullptr);

private:
    TypedValue column(const Expression &e, const ResultTable *table, std::size_t row);
    TypedValue arithmetic(const Expression &e, const ResultTable *table, std::size_t row);
    std::optional<int> compare(const TypedValue &a, const TypedValue &b);

    ExecutionContext &m_context;
};

} // namespace sqlemu
