#include "sql/select_executor.h"

#include "sql/execution_context.h"
#include "sql/expression_evaluator.h"
#include "sql/sql_error.h"
#include "sql/system_tables.h"
#include "sql/token.h"
#include "storage/collation.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace sqlemu {

namespace {

bool isCount(const Expression &e)
{
    return e.kind == Expression::Kind::Function && asciiUpper(e.name) == "COUNT";
}

// ORDER BY's comparison: NULL first, numbers as numbers, texts as the
// collation orders them.
int compareForOrder(const Value &a, const Value &b)
{
    if (isNull(a) || isNull(b))
        return isNull(a) == isNull(b) ? 0 : (isNull(a) ? -1 : 1);
    if (const auto *x = std::get_if<std::int64_t>(&a))
        if (const auto *y = std::get_if<std::int64_t>(&b))
            return *x < *y ? -1 : (*x > *y ? 1 : 0);
    if (const auto *x = std::get_if<DateTimeValue>(&a))
        if (const auto *y = std::get_if<DateTimeValue>(&b))
            return x->millisecondsSince1900 < y->millisecondsSince1900
                ? -1
                : (x->millisecondsSince1900 > y->millisecondsSince1900 ? 1 : 0);
    return collationCompare(valueAsText(a).value_or(""), valueAsText(b).value_or(""));
}

class SelectRun {
public:
    SelectRun(const SelectStatement &select, ExecutionContext &context)
        : m_select(select)
        , m_context(context)
        , m_evaluator(context)
    {
        if (select.from)
            m_source = resolveTable(*select.from, context);
        m_table = m_source ? &*m_source : nullptr;
        m_assigns = !select.items.front().assignTo.empty();
    }

    std::uint64_t run()
    {
        nameColumns();
        checkBeforeRunning();
        keepRows();
        makeRows();
        sortRows();
        return deliver();
    }

private:
    // Name and type every column before the first row, as a real server
    // checks the whole statement before it runs.
    void nameColumns()
    {
        for (const auto &item : m_select.items) {
            if (!item.expression) {
                if (!m_table)
                    throw errors::starWithoutTable();
                for (std::size_t i = 0; i < m_table->columns.size(); ++i) {
                    m_columns.push_back(m_table->columns[i]);
                    m_expressions.push_back(nullptr);
                    m_tableColumns.push_back(static_cast<int>(i));
                }
                continue;
            }
            m_aggregate = m_aggregate || isCount(*item.expression);
            const TypedValue type = m_evaluator.typeOf(*item.expression, m_table);
            std::string name = item.alias;
            if (name.empty() && item.expression->kind == Expression::Kind::Column && m_table)
                name = m_table->columns[*m_table->columnIndex(item.expression->parts.back())].name;
            m_columns.push_back(columnFor(name, type.type, type.length));
            m_expressions.push_back(item.expression.get());
            m_tableColumns.push_back(-1);
        }
    }

    void checkBeforeRunning()
    {
        if (m_select.where)
            (void)m_evaluator.test(*m_select.where, m_table, std::numeric_limits<std::size_t>::max());
        if (!m_aggregate)
            return;
        for (std::size_t c = 0; c < m_expressions.size(); ++c) {
            if (!m_expressions[c])
                throw errors::notInAggregate("*");
            if (m_expressions[c]->kind == Expression::Kind::Column)
                throw errors::notInAggregate(m_columns[c].name);
        }
    }

    // The rows the WHERE clause keeps, in the table's order.
    void keepRows()
    {
        const std::size_t tableRows = m_table ? m_table->rows.size() : 1;
        for (std::size_t r = 0; r < tableRows; ++r) {
            if (m_select.where && !m_evaluator.test(*m_select.where, m_table, r).value_or(false))
                continue;
            m_kept.push_back(r);
            if ((m_kept.size() & 63) == 0 && m_context.sink.cancelled())
                throw Cancelled{};
        }
    }

    // Each output row with the table row it came from.
    void makeRows()
    {
        if (m_aggregate) {
            std::vector<Value> values;
            for (const Expression *e : m_expressions) {
                if (!isCount(*e)) {
                    values.push_back(m_evaluator.evaluate(*e).value);
                    continue;
                }
                std::int64_t count = 0;
                for (std::size_t r : m_kept)
                    count += e->op == "*" || !isNull(m_evaluator.evaluate(*e->arguments.at(0), m_table, r).value);
                values.push_back(count);
            }
            m_rows.push_back(std::move(values));
            m_origins.push_back(0);
            return;
        }
        for (std::size_t r : m_kept) {
            std::vector<Value> values;
            for (std::size_t c = 0; c < m_columns.size(); ++c)
                values.push_back(m_tableColumns[c] >= 0 ? m_table->rows[r][static_cast<std::size_t>(m_tableColumns[c])]
                                     : m_assigns        ? Value{}
                                                        : m_evaluator.evaluate(*m_expressions[c], m_table, r).value);
            m_rows.push_back(std::move(values));
            m_origins.push_back(r);
        }
    }

    // Sort keys: a position or an alias of the select list names an output
    // column, anything else is evaluated on the row.
    void sortRows()
    {
        m_order.resize(m_rows.size());
        std::iota(m_order.begin(), m_order.end(), std::size_t{0});
        if (m_select.orderBy.empty() || m_aggregate)
            return;
        std::vector<std::vector<Value>> keys(m_rows.size());
        for (const auto &item : m_select.orderBy) {
            const std::optional<std::size_t> column = outputColumnOf(item);
            for (std::size_t i = 0; i < m_rows.size(); ++i)
                keys[i].push_back(column ? m_rows[i][*column]
                                         : m_evaluator.evaluate(*item.expression, m_table, m_origins[i]).value);
        }
        std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t k = 0; k < m_select.orderBy.size(); ++k) {
                const int c = compareForOrder(keys[a][k], keys[b][k]);
                if (c != 0)
                    return m_select.orderBy[k].descending ? c > 0 : c < 0;
            }
            return false;
        });
    }

    std::optional<std::size_t> outputColumnOf(const OrderItem &item) const
    {
        if (item.position)
            return static_cast<std::size_t>(*item.position - 1);
        if (item.expression->kind != Expression::Kind::Column || item.expression->parts.size() != 1)
            return std::nullopt;
        for (std::size_t c = 0; c < m_columns.size(); ++c)
            if (!m_assigns && m_tableColumns[c] < 0 && sameName(m_columns[c].name, item.expression->parts[0]))
                return c;
        return std::nullopt;
    }

    // The rows in order, up to TOP and SET ROWCOUNT, to the client or into
    // the variables.
    std::uint64_t deliver()
    {
        if (!m_assigns)
            m_context.sink.columns(m_columns);
        std::uint64_t sent = 0;
        const auto limit = [&](std::int64_t n) { return sent >= static_cast<std::uint64_t>(n); };
        for (std::size_t i : m_order) {
            if ((m_select.top && limit(*m_select.top))
                || (m_context.options.rowCountLimit > 0 && limit(m_context.options.rowCountLimit)))
                break;
            if (m_assigns)
                assign(i);
            else
                m_context.sink.row(m_rows[i]);
            ++sent;
            if ((sent & 63) == 0 && m_context.sink.cancelled())
                throw Cancelled{};
        }
        return sent;
    }

    void assign(std::size_t row)
    {
        for (const auto &item : m_select.items) {
            Variable *v = m_context.variables.find(item.assignTo);
            if (!v)
                throw errors::mustDeclareVariable(item.assignTo);
            const auto index = static_cast<std::size_t>(&item - m_select.items.data());
            v->value = convertTo(m_aggregate ? TypedValue{m_rows[row][index], SqlType::Int, 0}
                                             : m_evaluator.evaluate(*item.expression, m_table, m_origins[row]),
                                 v->type);
        }
    }

    const SelectStatement &m_select;
    ExecutionContext &m_context;
    ExpressionEvaluator m_evaluator;
    std::optional<ResultTable> m_source;
    const ResultTable *m_table = nullptr;
    bool m_assigns = false;
    bool m_aggregate = false;
    std::vector<ColumnInfo> m_columns;
    std::vector<const Expression *> m_expressions;
    std::vector<int> m_tableColumns; // -1 unless the column comes from *
    std::vector<std::size_t> m_kept;
    std::vector<std::vector<Value>> m_rows;
    std::vector<std::size_t> m_origins;
    std::vector<std::size_t> m_order;
};

} // namespace

std::uint64_t runSelect(const SelectStatement &select, ExecutionContext &context)
{
    return SelectRun(select, context).run();
}

} // namespace sqlemu
