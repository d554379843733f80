#pragma once

#include <string_view>

namespace sqlemu {

// Comparisons under the server's collation (Arabic_CI_AS): letter case is
// ignored, accents are not. Arabic script has no case, so folding Latin,
// Greek and Cyrillic letters is all the collation asks of us.

char32_t foldCase(char32_t c);

// Equality of names (databases, logical files, variables): case-insensitive,
// every character counts.
bool sameName(std::string_view a, std::string_view b);

// The '=' of SQL on texts: case-insensitive, and trailing blanks do not count
// ('abc' = 'abc  ' is true on a real server).
bool collationEquals(std::string_view a, std::string_view b);

// Orders two texts as the collation does (negative, zero, positive), trailing
// blanks ignored.
int collationCompare(std::string_view a, std::string_view b);

// LIKE with % (any run), _ (any one character), [set], [a-z] and [^set].
bool collationLike(std::string_view text, std::string_view pattern);

} // namespace sqlemu
