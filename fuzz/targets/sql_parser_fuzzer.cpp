// Feeds arbitrary bytes to the T-SQL tokenizer and parser as a batch, as an
// sp_executesql parameter list, and as a LIKE pattern. Refusals (SqlError)
// are the expected outcome for most inputs; anything else is a fault.
// An input that starts with '~' is a piece repeated into a long chain
// ("~+1" makes SELECT 1+1+1...), the shape that overflows a recursive
// parser or destructor long before the fuzzer would type it out.

#include "sql/parser.h"
#include "sql/sql_error.h"
#include "storage/collation.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kChainBytes = 400000;

std::string chainFrom(std::string_view piece)
{
    std::string batch = "SELECT 1";
    if (piece.empty())
        return batch;
    batch.reserve(kChainBytes + piece.size());
    while (batch.size() < kChainBytes)
        batch += piece;
    return batch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char *>(data), size);
    std::string chain;
    if (!text.empty() && text.front() == '~') {
        chain = chainFrom(text.substr(1, 64));
        text = chain;
    }
    const bool variant = size > 0 && (data[0] & 1);

    sqlemu::ParserOptions options;
    options.quotedIdentifier = variant;
    options.truncateOnlyAllowed = !variant;
    options.predeclaredVariables = {"@P1", "@P2"};
    try {
        sqlemu::parseBatch(text, options);
    } catch (const sqlemu::SqlError &) {}
    try {
        sqlemu::parseParameterDeclarations(text);
    } catch (const sqlemu::SqlError &) {}
    const std::size_t half = size / 2;
    sqlemu::collationLike(text.substr(0, half), text.substr(half));
    return 0;
}
