#pragma once

#include "engine_interface/memory_budget.h"

#include <cstddef>

namespace sqlemu {

// The tokens one batch may make: at most a fixed number, and only as many
// as the server's memory budget has room for. A batch of millions of `;`
// would otherwise hold some sixty bytes per character of its text. Given to
// the tokenizer as ParserOptions::onTokens; what it reserved goes back when
// the budget is destroyed, after the batch.
class TokenBudget {
public:
    static constexpr std::size_t kMaxTokens = 1'000'000;
    // A token and its share of the container that holds it.
    static constexpr std::size_t kBytesPerToken = 64;

    explicit TokenBudget(MemoryBudget *memory, std::size_t maxTokens = kMaxTokens)
        : m_maxTokens(maxTokens)
        , m_reserved(memory)
    {}

    // Throws SqlError 701, a compile error that refuses the whole batch,
    // once tokens are more than it may hold.
    void operator()(std::size_t tokens);

private:
    const std::size_t m_maxTokens;
    MemoryReservation m_reserved;
};

} // namespace sqlemu
