// Feeds arbitrary bytes to the T-SQL tokenizer and parser as a batch, as an
// sp_executesql parameter list, and as a LIKE pattern. Refusals (SqlError)
// are the expected outcome for most inputs; anything else is a fault.

#include "sql/parser.h"
#include "sql/sql_error.h"
#include "storage/collation.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const bool variant = size > 0 && (data[0] & 1);

    sqlemu::ParserOptions options;
    options.quotedIdentifier = variant;
    options.truncateOnlyAllowed = !variant;
    options.predeclaredVariables = {"@P1", "@P2"};
    try {
        sqlemu::parseBatch(text, options);
    } catch (const sqlemu::SqlError &) {
    }
    try {
        sqlemu::parseParameterDeclarations(text);
    } catch (const sqlemu::SqlError &) {
    }
    const std::size_t half = size / 2;
    sqlemu::collationLike(text.substr(0, half), text.substr(half));
    return 0;
}
