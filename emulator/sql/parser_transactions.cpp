#include "sql/parser_core.h"

namespace sqlemu::detail {

TransactionStatement Parser::parseTransaction(TransactionStatement::Kind kind)
{
    using Kind = TransactionStatement::Kind;
    TransactionStatement statement;
    statement.kind = kind;
    const bool tranWord = acceptWord("TRAN") || acceptWord("TRANSACTION");
    if (!tranWord) {
        // BEGIN and SAVE need the word; COMMIT and ROLLBACK stand alone or
        // with WORK, and then name nothing.
        if (kind == Kind::Begin || kind == Kind::Save)
            failHere();
        acceptWord("WORK");
        return statement;
    }
    const Token &t = peek();
    if (t.kind == TokenKind::Variable) {
        statement.name = NameOrVariable{useVariable(take()), true};
    } else if (t.kind == TokenKind::QuotedName
               || (t.kind == TokenKind::Word && !t.isReservedKeyword() && !atStatementStart())) {
        statement.name = NameOrVariable{take().text, false};
    } else if (kind == Kind::Save) {
        failHere();
    }
    if (kind == Kind::Begin && peek().isWord("WITH")) {
        take();
        if (peek().isWord("MARK"))
            throw errors::notSupportedYet("BEGIN TRANSACTION ... WITH MARK").atLine(t.line);
        failHere();
    }
    return statement;
}

} // namespace sqlemu::detail
