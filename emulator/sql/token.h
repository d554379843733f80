#pragma once

#include <string>
#include <string_view>

namespace sqlemu {

enum class TokenKind {
    Word, // a regular identifier or keyword: select, master, xp_regread
    QuotedName, // [bracketed] or "quoted" (QUOTED_IDENTIFIER ON) identifier
    Variable, // @name
    SystemVariable, // @@name
    String, // 'text'
    UnicodeString, // N'text'
    Integer,
    Decimal,
    Binary, // 0x...
    Symbol, // ( ) , . ; = <> <= ... and any other single character
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text; // identifiers unbracketed, strings unescaped, symbols as written
    int line = 1;
    std::size_t offset = 0;

    bool isSymbol(std::string_view s) const { return kind == TokenKind::Symbol && text == s; }
    // A word equal to keyword, ignoring case (keyword given in upper case).
    bool isWord(std::string_view keyword) const;
    bool isReservedKeyword() const;
};

// text with its ASCII letters in upper case, as keywords and the names of
// options and functions are compared; other bytes stay as they are.
std::string asciiUpper(std::string_view text);

// T-SQL's reserved keywords; a word among them cannot name anything without
// brackets, and errors near it say "near the keyword".
bool isReservedKeyword(std::string_view word);

} // namespace sqlemu
