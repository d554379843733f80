#pragma once

// The parser's machinery, shared by the files that parse each family of
// statements. Not for use outside the parser.

#include "sql/ast.h"
#include "sql/parser.h"
#include "sql/sql_error.h"
#include "sql/token.h"
#include "sql/tokenizer.h"

#include <string>
#include <string_view>
#include <vector>

namespace sqlemu::detail {

class Parser {
public:
    Parser(Tokens tokens, const ParserOptions &options);

    Batch parseBatch();
    // The batch's next statement, null at its end.
    StatementPtr nextStatement();
    std::vector<DeclareStatement::Variable> parseParameterList();

private:
    // Tokens.
    const Token &peek(std::size_t ahead = 0) const;
    const Token &take();
    bool atEnd() const { return peek().kind == TokenKind::End; }
    bool acceptSymbol(std::string_view symbol);
    bool acceptWord(std::string_view keyword);
    void expectSymbol(std::string_view symbol);
    void expectWord(std::string_view keyword);
    [[noreturn]] void failHere() const;
    [[noreturn]] void failAt(const Token &token) const;
    bool atStatementStart() const;

    // Statements (parser.cpp).
    StatementPtr parseStatement(bool firstInBatch);
    UseStatement parseUse();
    DeclareStatement parseDeclare();
    DeclareStatement::Variable parseVariableDeclaration();
    Statement::Body parseSet();
    std::string parseOnOff(); // the value of a SET option that is ON or OFF
    SelectStatement parseSelect();
    ExecuteStatement parseExecute(bool keywordGiven);
    IfStatement parseIf();
    BlockStatement parseBlock();
    WaitforStatement parseWaitfor();
    DataType parseDataType();
    std::string parseName();
    std::vector<std::string> parseMultipartName(std::string *written);
    std::string useVariable(const Token &token);

    // Expressions (parser_expressions.cpp).
    ExpressionPtr parseExpression(); // a condition or a scalar
    ExpressionPtr parseScalar(); // refuses conditions
    ExpressionPtr parseOr();
    ExpressionPtr parseAnd();
    ExpressionPtr parseNot();
    ExpressionPtr parsePredicate();
    ExpressionPtr parseAdditive();
    ExpressionPtr parseMultiplicative();
    ExpressionPtr parseUnary();
    ExpressionPtr parsePrimary();
    ExpressionPtr parseFunctionCall(const Token &name);
    ExpressionPtr parseOptionValue(); // literal, variable or bare word

    // Database statements (parser_database.cpp).
    BackupStatement parseBackup();
    RestoreStatement parseRestore();
    CreateDatabaseStatement parseCreate();
    AlterDatabaseStatement parseAlter();
    DropDatabaseStatement parseDrop();
    DbccStatement parseDbcc();
    NameOrVariable parseNameOrVariable();

    // Transactions (parser_transactions.cpp); the statement's first word is taken.
    TransactionStatement parseTransaction(TransactionStatement::Kind kind);
    std::vector<ExpressionPtr> parseDisks();
    std::vector<StatementOption> parseWithOptions(const std::vector<std::string_view> &known,
                                                  std::string_view statementName, bool allowMove);
    std::vector<StatementOption> parseFileSpec();

    // Guards recursion, as a real server refuses deep nesting (191) rather
    // than run out of stack.
    class DepthGuard {
    public:
        explicit DepthGuard(Parser &parser);
        ~DepthGuard() { --m_parser.m_depth; }
        DepthGuard(const DepthGuard &) = delete;
        DepthGuard &operator=(const DepthGuard &) = delete;

    private:
        Parser &m_parser;
    };

    Tokens m_tokens;
    int m_depth = 0;
    std::size_t m_pos = 0;
    ParserOptions m_options;
    std::vector<std::string> m_declared;
    bool m_firstStatement = true;
};

ExpressionPtr makeLiteral(Value value, SqlType type, int line);
// Sets e's height from its operands and refuses (191) a tree too tall to
// evaluate: a chain of operators built in a loop grows the tree as much as
// parentheses do.
ExpressionPtr finished(ExpressionPtr e);
bool isCondition(const Expression &e);

} // namespace sqlemu::detail
