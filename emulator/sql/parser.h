#pragma once

#include "sql/ast.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sqlemu {

struct ParserOptions {
    bool quotedIdentifier = false;
    // BACKUP LOG ... WITH TRUNCATE_ONLY / NO_LOG exist up to SQL Server 2005.
    bool truncateOnlyAllowed = true;
    // DECLARE @v int = 1 exists from SQL Server 2008 on.
    bool declareInitializerAllowed = true;
    // date, time, datetime2 and datetimeoffset exist from SQL Server 2008 on.
    bool dateTypesAllowed = true;
    // Variables bound before the batch runs (sp_executesql parameters).
    std::vector<std::string> predeclaredVariables;
    // Handed to the tokenizer: the batch's token budget.
    std::function<void(std::size_t tokens)> onTokens;
};

// Compiles a batch. Throws SqlError with ErrorScope::Compile, as a real
// server refuses a batch before running any of it.
Batch parseBatch(std::string_view text, const ParserOptions &options = {});

namespace detail {
class Parser;
}

// A batch parsed one statement at a time, so that running a long batch holds
// one statement's tree, not the whole batch's. Throws SqlError as parseBatch
// does, at the statement where the fault lies.
class StatementStream {
public:
    StatementStream(std::string_view text, const ParserOptions &options);
    ~StatementStream();
    StatementStream(const StatementStream &) = delete;
    StatementStream &operator=(const StatementStream &) = delete;

    // The next statement; null after the last.
    StatementPtr next();

private:
    std::unique_ptr<detail::Parser> m_parser;
};

// Parses sp_executesql's @params: "@P1 varchar(50), @P2 int OUTPUT".
std::vector<DeclareStatement::Variable> parseParameterDeclarations(std::string_view text);

} // namespace sqlemu
