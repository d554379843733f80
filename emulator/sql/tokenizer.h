#pragma once

#include "sql/token.h"

#include <deque>
#include <string_view>

namespace sqlemu {

struct TokenizerOptions {
    // With QUOTED_IDENTIFIER ON "text" is an identifier, otherwise a string.
    bool quotedIdentifier = false;
};

// A deque: a long batch's tokens grow in chunks, never copied to a vector
// twice their size.
using Tokens = std::deque<Token>;

// Splits a batch into tokens; comments (-- and nested /* */) and blanks are
// dropped. The last token is always End. Throws SqlError (105, 113) for an
// unclosed string, name or comment.
Tokens tokenize(std::string_view batch, const TokenizerOptions &options = {});

} // namespace sqlemu
