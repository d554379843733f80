#pragma once

#include "sql/token.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <string_view>

namespace sqlemu {

struct TokenizerOptions {
    // With QUOTED_IDENTIFIER ON "text" is an identifier, otherwise a string.
    bool quotedIdentifier = false;
    // Told the count of tokens made so far at every kTokenBudgetStep, so
    // that a batch of millions of tokens can be stopped (by throwing)
    // before it holds their memory.
    std::function<void(std::size_t tokens)> onTokens;
};

constexpr std::size_t kTokenBudgetStep = 4096;

// A deque: a long batch's tokens grow in chunks, never copied to a vector
// twice their size.
using Tokens = std::deque<Token>;

// Splits a batch into tokens; comments (-- and nested /* */) and blanks are
// dropped. The last token is always End. Throws SqlError (105, 113) for an
// unclosed string, name or comment.
Tokens tokenize(std::string_view batch, const TokenizerOptions &options = {});

} // namespace sqlemu
