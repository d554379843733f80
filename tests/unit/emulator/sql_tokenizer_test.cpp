#include "sql/sql_error.h"
#include "sql/tokenizer.h"

#include <gtest/gtest.h>

namespace sqlemu {
namespace {

std::string describe(const Tokens &tokens)
{
    std::string out;
    for (const auto &t : tokens) {
        if (t.kind == TokenKind::End)
            break;
        const char *kind = "?";
        switch (t.kind) {
        case TokenKind::Word:
            kind = "w";
            break;
        case TokenKind::QuotedName:
            kind = "q";
            break;
        case TokenKind::Variable:
            kind = "v";
            break;
        case TokenKind::SystemVariable:
            kind = "sv";
            break;
        case TokenKind::String:
            kind = "s";
            break;
        case TokenKind::UnicodeString:
            kind = "n";
            break;
        case TokenKind::Integer:
            kind = "i";
            break;
        case TokenKind::Decimal:
            kind = "d";
            break;
        case TokenKind::Binary:
            kind = "b";
            break;
        case TokenKind::Symbol:
            kind = "y";
            break;
        case TokenKind::End:
            break;
        }
        out += std::string(out.empty() ? "" : " ") + kind + ":" + t.text;
    }
    return out;
}

TEST(TokenizerTest, SplitsTheWaysTSqlIsWritten)
{
    const struct {
        const char *batch;
        const char *tokens;
    } cases[] = {
        {"select\r\n\tname ,filename", "w:select w:name y:, w:filename"},
        {"N'My Backup' n'x' 'it''s' ''", "n:My Backup n:x s:it's s:"},
        {"[my db] [a]]b] [select]", "q:my db q:a]b q:select"},
        {"@Ar_Path @@VERSION @x1", "v:@Ar_Path sv:@@VERSION v:@x1"},
        {"1=1 12.5 0x1F", "i:1 y:= i:1 d:12.5 b:0x1F"},
        {"a<>b c!=d e<=f", "w:a y:<> w:b w:c y:!= w:d w:e y:<= w:f"},
        {"a -- comment 'not a string\r\nb", "w:a w:b"},
        {"a /* one /* nested */ still */ b", "w:a w:b"},
        {"Set @path= @Ar_Path  --+@Ar_DataBase+'_'", "w:Set v:@path y:= v:@Ar_Path"},
        {"CREATE DATABASE تارنل", "w:CREATE w:DATABASE w:تارنل"},
        {"'SOFTWARE\\Microsoft\\Microsoft SQL Server'", "s:SOFTWARE\\Microsoft\\Microsoft SQL Server"},
        {"\"quoted\"", "s:quoted"},
        {"a.b..c", "w:a y:. w:b y:. y:. w:c"},
        {":Ar_DataBase ?", "y:: w:Ar_DataBase y:?"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.batch);
        EXPECT_EQ(describe(tokenize(c.batch)), c.tokens);
    }
}

TEST(TokenizerTest, QuotedIdentifierMakesDoubleQuotesNames)
{
    TokenizerOptions options;
    options.quotedIdentifier = true;
    EXPECT_EQ(describe(tokenize("\"my \"\"db\"\"\"", options)), "q:my \"db\"");
}

TEST(TokenizerTest, CountsLinesForMessages)
{
    const auto tokens = tokenize("a\r\n/* x\r\n y */ b\n\n'c\nd' e");
    ASSERT_EQ(tokens.size(), 5u);
    EXPECT_EQ(tokens[0].line, 1);
    EXPECT_EQ(tokens[1].line, 3);
    EXPECT_EQ(tokens[2].line, 5);
    EXPECT_EQ(tokens[3].line, 6);
}

TEST(TokenizerTest, UnclosedTextsAreTheServersErrors)
{
    const struct {
        const char *batch;
        std::vector<int> numbers;
        const char *firstText;
        int line;
    } cases[] = {
        {"select 'abc", {105, 102}, "Unclosed quotation mark after the character string 'abc'.", 1},
        {"select\nN'it''s", {105, 102}, "Unclosed quotation mark after the character string 'it's'.", 2},
        {"select [abc", {105, 102}, "Unclosed quotation mark after the character string 'abc'.", 1},
        {"select 1 /* a /* b */", {113}, "Missing end comment mark '*/'.", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.batch);
        try {
            tokenize(c.batch);
            ADD_FAILURE() << "accepted";
        } catch (const SqlError &e) {
            std::vector<int> numbers;
            for (const auto &m : e.messages()) {
                numbers.push_back(m.number);
                EXPECT_EQ(m.severity, 15);
                EXPECT_EQ(m.line, c.line);
            }
            EXPECT_EQ(numbers, c.numbers);
            EXPECT_EQ(e.messages().front().text, c.firstText);
            EXPECT_EQ(e.scope(), ErrorScope::Compile);
        }
    }
}

} // namespace
} // namespace sqlemu
