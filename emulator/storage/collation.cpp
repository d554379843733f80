#include "storage/collation.h"

#include "storage/utf8.h"

#include <string>

namespace sqlemu {

char32_t foldCase(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if (c < 0x80)
        return c;
    // Latin-1 capitals, except the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    // Latin Extended-A: capitals and small letters alternate.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return c | 1;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c + 1 : c;
    if (c == 0x178)
        return 0xFF;
    // Greek and Cyrillic.
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    // Full-width Latin capitals.
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 32;
    return c;
}

namespace {

std::u32string folded(std::string_view text)
{
    std::u32string out = decodeUtf8(text);
    for (char32_t &c : out)
        c = foldCase(c);
    return out;
}

std::u32string withoutTrailingBlanks(std::u32string text)
{
    while (!text.empty() && text.back() == U' ')
        text.pop_back();
    return text;
}

// Matches a bracketed set at pattern[p] (the '[') against c. Returns the index
// just after the ']' and whether c is in the set, or npos when the bracket
// never closes (then '[' is an ordinary character, as on a real server).
std::size_t matchSet(const std::u32string &pattern, std::size_t p, char32_t c, bool &matched)
{
    std::size_t i = p + 1;
    bool negate = false;
    if (i < pattern.size() && pattern[i] == U'^') {
        negate = true;
        ++i;
    }
    bool found = false;
    const std::size_t first = i;
    while (i < pattern.size() && (pattern[i] != U']' || i == first)) {
        if (i + 2 < pattern.size() && pattern[i + 1] == U'-' && pattern[i + 2] != U']') {
            if (c >= pattern[i] && c <= pattern[i + 2])
                found = true;
            i += 3;
        } else {
            if (pattern[i] == c)
                found = true;
            ++i;
        }
    }
    if (i >= pattern.size())
        return std::u32string::npos;
    matched = negate ? !found : found;
    return i + 1;
}

bool likeMatch(const std::u32string &text, const std::u32string &pattern)
{
    // Iterative matcher with one back-tracking point for the latest '%',
    // which keeps hostile patterns linear-ish instead of exponential.
    std::size_t t = 0, p = 0;
    std::size_t starP = std::u32string::npos, starT = 0;
    while (t < text.size()) {
        bool advanced = false;
        if (p < pattern.size()) {
            const char32_t pc = pattern[p];
            if (pc == U'%') {
                starP = p++;
                starT = t;
                continue;
            }
            if (pc == U'[') {
                bool matched = false;
                const std::size_t next = matchSet(pattern, p, text[t], matched);
                if (next == std::u32string::npos) {
                    if (text[t] == U'[') {
                        ++p;
                        ++t;
                        advanced = true;
                    }
                } else if (matched) {
                    p = next;
                    ++t;
                    advanced = true;
                }
            } else if (pc == U'_' || pc == text[t]) {
                ++p;
                ++t;
                advanced = true;
            }
        }
        if (advanced)
            continue;
        if (starP == std::u32string::npos)
            return false;
        p = starP + 1;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == U'%')
        ++p;
    return p == pattern.size();
}

} // namespace

bool sameName(std::string_view a, std::string_view b)
{
    return folded(a) == folded(b);
}

bool collationEquals(std::string_view a, std::string_view b)
{
    return withoutTrailingBlanks(folded(a)) == withoutTrailingBlanks(folded(b));
}

int collationCompare(std::string_view a, std::string_view b)
{
    const auto x = withoutTrailingBlanks(folded(a));
    const auto y = withoutTrailingBlanks(folded(b));
    return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
}

bool collationLike(std::string_view text, std::string_view pattern)
{
    return likeMatch(folded(text), folded(pattern));
}

} // namespace sqlemu
