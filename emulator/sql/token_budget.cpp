#include "sql/token_budget.h"

#include "sql/sql_error.h"

namespace sqlemu {

void TokenBudget::operator()(std::size_t tokens)
{
    // A batch is tokenized again as it runs, after its first tokens are
    // gone; the reservation covers the larger of the two, not their sum.
    if (tokens > m_maxTokens || !m_reserved.growTo(tokens * kBytesPerToken))
        throw SqlError(insufficientMemoryMessage(), ErrorScope::Compile);
}

} // namespace sqlemu
