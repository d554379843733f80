#include "platform/ansi_codec.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace movan {

namespace {

constexpr const char *kAnsiCodePage = "WINDOWS-1256";

// Converts all of input or nothing; an unconvertible sequence ends the
// conversion with an empty result.
std::optional<QByteArray> convert(const char *to, const char *from, const QByteArray &input)
{
    iconv_t cd = iconv_open(to, from);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open fails with (iconv_t)-1, a pointer made of -1
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;

    QByteArray output;
    std::vector<char> buffer(4096);
    char *in = const_cast<char *>(input.constData());
    size_t inLeft = static_cast<size_t>(input.size());
    bool ok = true;
    while (true) {
        char *out = buffer.data();
        size_t outLeft = buffer.size();
        const size_t rc
            = inLeft > 0 ? iconv(cd, &in, &inLeft, &out, &outLeft) : iconv(cd, nullptr, nullptr, &out, &outLeft);
        output.append(buffer.data(), static_cast<qsizetype>(buffer.size() - outLeft));
        if (rc != static_cast<size_t>(-1)) {
            if (inLeft == 0)
                break;
            continue;
        }
        if (errno == E2BIG)
            continue;
        ok = false;
        break;
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return output;
}

} // namespace

namespace AnsiCodec {

QString decode(const QByteArray &ansi)
{
    if (const auto utf8 = convert("UTF-8", kAnsiCodePage, ansi))
        return QString::fromUtf8(*utf8);
    // Not reachable for this code page; keep the bytes readable anyway.
    return QString::fromLatin1(ansi);
}

std::optional<QByteArray> encode(const QString &text)
{
    // Unpaired surrogates would reach iconv as replacement characters, which
    // Windows-1256 cannot hold either; refusing them is what we want.
    return convert(kAnsiCodePage, "UTF-8", text.toUtf8());
}

} // namespace AnsiCodec

} // namespace movan
