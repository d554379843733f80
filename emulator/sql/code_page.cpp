#include "sql/code_page.h"

#include "storage/utf8.h"

#include <algorithm>
#include <iconv.h>
#include <vector>

namespace sqlemu {

namespace {

// The code points Windows-1256 can hold, read once from iconv's own table.
std::vector<char32_t> buildRepertoire()
{
    std::vector<char32_t> repertoire;
    iconv_t cd = iconv_open("UTF-32LE", "CP1256");
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open fails with (iconv_t)-1, a pointer made of -1
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (char32_t c = 0; c < 0x80; ++c)
            repertoire.push_back(c);
        return repertoire;
    }
    for (int byte = 0; byte < 256; ++byte) {
        char in = static_cast<char>(byte);
        unsigned char out[4] = {};
        char *inPtr = &in;
        char *outPtr = reinterpret_cast<char *>(out);
        std::size_t inLeft = 1, outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && outLeft == 0)
            repertoire.push_back(static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (out[3] << 24)));
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    std::sort(repertoire.begin(), repertoire.end());
    return repertoire;
}

} // namespace

std::string toServerCodePage(std::string_view utf8)
{
    static const std::vector<char32_t> repertoire = buildRepertoire();
    std::u32string chars = decodeUtf8(utf8);
    bool changed = false;
    for (char32_t &c : chars) {
        if (c >= 0x80 && !std::binary_search(repertoire.begin(), repertoire.end(), c)) {
            c = U'?';
            changed = true;
        }
    }
    return changed ? encodeUtf8(chars) : std::string(utf8);
}

} // namespace sqlemu
