#pragma once

#include "sql/token.h"

#include <string_view>
#include <vector>

namespace sqlemu {

struct TokenizerOptions {
    // With QUOTED_IDENTIFIER ON "text" is an identifier, otherwise a string.
    bool quotedIdentifier = false;
};

// Splits a batch into tokens; comments (-- and nested /* */) and blanks are
// dropped. The last token is always End. Throws SqlError (105, 113) for an
// unclosed string, name or comment.
std::vector<Token> tokenize(std::string_view batch, const TokenizerOptions &options = {});

} // namespace sqlemu
