#pragma once

// Text at the wire is UTF-16LE (NVARCHAR, names, messages) or single-byte in
// the collation's code page (VARCHAR); the engine speaks UTF-8.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sqlemu::tds {

std::u16string utf8ToUtf16(const std::string &utf8);
std::string utf16ToUtf8(const std::u16string &utf16);

std::vector<std::uint8_t> utf8ToUtf16le(const std::string &utf8);
std::string utf16leToUtf8(std::span<const std::uint8_t> bytes);

// Windows code page (1252, 1256, ...) <-> UTF-8; unknown code pages are read
// as Windows-1252. Characters without a mapping become '?', as a server does.
std::string codePageToUtf8(std::span<const std::uint8_t> bytes, int codePage);
std::vector<std::uint8_t> utf8ToCodePage(const std::string &utf8, int codePage);

} // namespace sqlemu::tds
