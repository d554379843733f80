#include "tds/text_codec.h"

#include <cerrno>
#include <iconv.h>

namespace sqlemu::tds {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence; malformed input yields U+FFFD and moves on by
// one byte, so text from the wire can never stop the decoder.
char32_t nextCodePoint(const std::string &s, std::size_t &i)
{
    unsigned char c = s[i];
    if (c < 0x80) {
        ++i;
        return c;
    }
    int extra = (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + extra >= s.size()) {
        ++i;
        return kReplacement;
    }
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char cc = s[i + k];
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += extra + 1;
    return cp;
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string convert(const char *to, const char *from, const char *in, std::size_t inLen, const char *fallback)
{
    iconv_t cd = iconv_open(to, from);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open fails with (iconv_t)-1, a pointer made of -1
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(in, inLen);
    std::string out;
    char buffer[1024];
    char *src = const_cast<char *>(in);
    std::size_t left = inLen;
    while (left > 0) {
        char *dst = buffer;
        std::size_t room = sizeof buffer;
        std::size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, dst - buffer);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += fallback; // unmappable or invalid: skip one byte of input
            ++src;
            --left;
        }
    }
    iconv_close(cd);
    return out;
}

std::string codePageName(int codePage)
{
    return "CP" + std::to_string(codePage);
}

} // namespace

std::u16string utf8ToUtf16(const std::string &utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = nextCodePoint(utf8, i);
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (cp >> 10));
            out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
        } else if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += static_cast<char16_t>(kReplacement);
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(const std::u16string &utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::vector<std::uint8_t> utf8ToUtf16le(const std::string &utf8)
{
    std::u16string units = utf8ToUtf16(utf8);
    std::vector<std::uint8_t> out;
    out.reserve(units.size() * 2);
    for (char16_t c : units) {
        out.push_back(c & 0xFF);
        out.push_back(c >> 8);
    }
    return out;
}

std::string utf16leToUtf8(std::span<const std::uint8_t> bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return utf16ToUtf8(units);
}

std::string codePageToUtf8(std::span<const std::uint8_t> bytes, int codePage)
{
    bool ascii = true;
    for (auto b : bytes)
        ascii = ascii && b < 0x80;
    if (ascii)
        return std::string(bytes.begin(), bytes.end());
    return convert("UTF-8", codePageName(codePage).c_str(), reinterpret_cast<const char *>(bytes.data()), bytes.size(),
                   "\xEF\xBF\xBD");
}

std::vector<std::uint8_t> utf8ToCodePage(const std::string &utf8, int codePage)
{
    std::string out = convert((codePageName(codePage) + "//TRANSLIT").c_str(), "UTF-8", utf8.data(), utf8.size(), "?");
    return {out.begin(), out.end()};
}

} // namespace sqlemu::tds
