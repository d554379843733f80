#include "sql/tokenizer.h"

#include "sql/sql_error.h"

#include <cctype>

namespace sqlemu {

namespace {

bool isBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

// Letters of any script may start a name; bytes above 0x7F belong to UTF-8
// sequences of such letters (Persian database names need no brackets).
bool isNameStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' || c >= 0x80;
}

bool isNamePart(unsigned char c)
{
    return isNameStart(c) || isDigit(c) || c == '@' || c == '$';
}

class Tokenizer {
public:
    Tokenizer(std::string_view text, const TokenizerOptions &options)
        : m_text(text)
        , m_options(options)
    {}

    Tokens run()
    {
        Tokens tokens;
        while (true) {
            skipBlanksAndComments();
            if (m_pos >= m_text.size())
                break;
            tokens.push_back(next());
            if (m_options.onTokens && tokens.size() % kTokenBudgetStep == 0)
                m_options.onTokens(tokens.size());
        }
        Token end;
        end.kind = TokenKind::End;
        end.line = m_line;
        end.offset = m_text.size();
        tokens.push_back(end);
        if (m_options.onTokens)
            m_options.onTokens(tokens.size());
        return tokens;
    }

private:
    unsigned char at(std::size_t i) const { return i < m_text.size() ? static_cast<unsigned char>(m_text[i]) : 0; }

    void advance(std::size_t count = 1)
    {
        for (std::size_t i = 0; i < count && m_pos < m_text.size(); ++i) {
            if (m_text[m_pos] == '\n')
                ++m_line;
            ++m_pos;
        }
    }

    void skipBlanksAndComments()
    {
        while (m_pos < m_text.size()) {
            const unsigned char c = at(m_pos);
            if (isBlank(c)) {
                advance();
            } else if (c == '-' && at(m_pos + 1) == '-') {
                while (m_pos < m_text.size() && m_text[m_pos] != '\n')
                    advance();
            } else if (c == '/' && at(m_pos + 1) == '*') {
                skipBlockComment();
            } else {
                break;
            }
        }
    }

    // Block comments nest on a real server.
    void skipBlockComment()
    {
        int depth = 0;
        while (m_pos < m_text.size()) {
            if (at(m_pos) == '/' && at(m_pos + 1) == '*') {
                ++depth;
                advance(2);
            } else if (at(m_pos) == '*' && at(m_pos + 1) == '/') {
                advance(2);
                if (--depth == 0)
                    return;
            } else {
                advance();
            }
        }
        throw errors::missingEndComment().atLine(m_line);
    }

    Token make(TokenKind kind, std::string text, int line, std::size_t offset)
    {
        Token t;
        t.kind = kind;
        t.text = std::move(text);
        t.line = line;
        t.offset = offset;
        return t;
    }

    // Reads a text closed by `close`, where a doubled `close` stands for one.
    std::string readQuoted(char close, int line)
    {
        std::string value;
        advance(); // the opening character
        while (true) {
            if (m_pos >= m_text.size())
                throw errors::unclosedQuotation(value).atLine(line);
            const char c = m_text[m_pos];
            if (c == close) {
                if (at(m_pos + 1) == static_cast<unsigned char>(close)) {
                    value.push_back(close);
                    advance(2);
                    continue;
                }
                advance();
                return value;
            }
            value.push_back(c);
            advance();
        }
    }

    Token next()
    {
        const int line = m_line;
        const std::size_t start = m_pos;
        const unsigned char c = at(m_pos);

        if ((c == 'N' || c == 'n') && at(m_pos + 1) == '\'') {
            advance();
            return make(TokenKind::UnicodeString, readQuoted('\'', line), line, start);
        }
        if (c == '\'')
            return make(TokenKind::String, readQuoted('\'', line), line, start);
        if (c == '[')
            return make(TokenKind::QuotedName, readQuoted(']', line), line, start);
        if (c == '"')
            return make(m_options.quotedIdentifier ? TokenKind::QuotedName : TokenKind::String, readQuoted('"', line),
                        line, start);
        if (c == '@') {
            const bool system = at(m_pos + 1) == '@';
            std::size_t end = m_pos + (system ? 2 : 1);
            while (end < m_text.size() && isNamePart(at(end)))
                ++end;
            std::string text(m_text.substr(m_pos, end - m_pos));
            advance(end - m_pos);
            return make(system ? TokenKind::SystemVariable : TokenKind::Variable, std::move(text), line, start);
        }
        if (c == '0' && (at(m_pos + 1) == 'x' || at(m_pos + 1) == 'X')) {
            std::size_t end = m_pos + 2;
            while (end < m_text.size() && std::isxdigit(at(end)))
                ++end;
            std::string text(m_text.substr(m_pos, end - m_pos));
            advance(end - m_pos);
            return make(TokenKind::Binary, std::move(text), line, start);
        }
        if (isDigit(c) || (c == '.' && isDigit(at(m_pos + 1)))) {
            std::size_t end = m_pos;
            bool decimal = false;
            while (isDigit(at(end)))
                ++end;
            if (at(end) == '.') {
                decimal = true;
                ++end;
                while (isDigit(at(end)))
                    ++end;
            }
            if ((at(end) == 'e' || at(end) == 'E')
                && (isDigit(at(end + 1)) || ((at(end + 1) == '+' || at(end + 1) == '-') && isDigit(at(end + 2))))) {
                decimal = true;
                end += 2;
                while (isDigit(at(end)))
                    ++end;
            }
            std::string text(m_text.substr(m_pos, end - m_pos));
            advance(end - m_pos);
            return make(decimal ? TokenKind::Decimal : TokenKind::Integer, std::move(text), line, start);
        }
        if (isNameStart(c)) {
            std::size_t end = m_pos;
            while (end < m_text.size() && isNamePart(at(end)))
                ++end;
            std::string text(m_text.substr(m_pos, end - m_pos));
            advance(end - m_pos);
            return make(TokenKind::Word, std::move(text), line, start);
        }
        static constexpr std::string_view kTwoCharacter[]
            = {"<=", ">=", "<>", "!=", "!<", "!>", "::", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="};
        for (auto symbol : kTwoCharacter) {
            if (m_text.substr(m_pos, 2) == symbol) {
                advance(2);
                return make(TokenKind::Symbol, std::string(symbol), line, start);
            }
        }
        advance();
        return make(TokenKind::Symbol, std::string(1, static_cast<char>(c)), line, start);
    }

    std::string_view m_text;
    TokenizerOptions m_options;
    std::size_t m_pos = 0;
    int m_line = 1;
};

} // namespace

Tokens tokenize(std::string_view batch, const TokenizerOptions &options)
{
    return Tokenizer(batch, options).run();
}

} // namespace sqlemu
