#pragma once

#include <string>
#include <string_view>

namespace sqlemu {

// Texts travel through the emulator as UTF-8; the few places that count or
// compare characters work on code points.

// Invalid sequences become U+FFFD, so hostile input never breaks a caller.
std::u32string decodeUtf8(std::string_view text);
std::string encodeUtf8(std::u32string_view text);

// Number of characters (code points) of a UTF-8 text.
std::size_t utf8Length(std::string_view text);

} // namespace sqlemu
