#include "platform/profile_text.h"

#include "platform/ansi_codec.h"

namespace movan {

namespace {

constexpr QByteArrayView kLineEnd = "\r\n";

struct LineSpan {
    qsizetype begin = 0; // first byte of the content
    qsizetype end = 0; // one past the content, before the line end
    qsizetype next = 0; // first byte of the next line
};

LineSpan lineAt(QByteArrayView file, qsizetype start)
{
    LineSpan line{start, start, start};
    while (line.end < file.size() && file[line.end] != '\n' && file[line.end] != '\r')
        ++line.end;
    line.next = line.end;
    if (line.next < file.size()) {
        ++line.next;
        if (file[line.end] == '\r' && line.next < file.size() && file[line.next] == '\n')
            ++line.next;
    }
    return line;
}

QByteArrayView content(QByteArrayView file, const LineSpan &line)
{
    return file.sliced(line.begin, line.end - line.begin);
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.sliced(begin, end - begin);
}

std::optional<QByteArrayView> sectionName(QByteArrayView line)
{
    const QByteArrayView text = trimmed(line);
    if (text.isEmpty() || text.front() != '[')
        return std::nullopt;
    const qsizetype close = text.lastIndexOf(']');
    if (close < 0)
        return std::nullopt;
    return trimmed(text.sliced(1, close - 1));
}

struct KeyLine {
    QByteArrayView key;
    qsizetype valueOffset; // within the line
};

std::optional<KeyLine> keyLine(QByteArrayView line)
{
    const QByteArrayView text = trimmed(line);
    if (text.isEmpty() || text.front() == ';' || text.front() == '[')
        return std::nullopt;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine{trimmed(line.first(eq)), eq + 1};
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Names are nearly always ASCII, which is compared without decoding, so that
// scanning a large file allocates nothing.
bool sameName(QByteArrayView bytes, const QString &name)
{
    bool ascii = true;
    for (const char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii)
        return AnsiCodec::decode(bytes.toByteArray()).compare(name, Qt::CaseInsensitive) == 0;
    if (bytes.size() != name.size())
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char16_t wanted = name[i].unicode();
        if (wanted >= 0x80 || asciiLower(bytes[i]) != asciiLower(char(wanted)))
            return false;
    }
    return true;
}

struct SectionSpan {
    LineSpan header;
    qsizetype end; // first byte of the next section line, or the file's end
};

std::optional<SectionSpan> findSection(QByteArrayView file, const QString &section)
{
    std::optional<SectionSpan> found;
    for (qsizetype start = 0; start < file.size();) {
        const LineSpan line = lineAt(file, start);
        const auto name = sectionName(content(file, line));
        if (name) {
            if (found) {
                found->end = line.begin;
                return found;
            }
            if (sameName(*name, section))
                found = SectionSpan{line, file.size()};
        }
        start = line.next;
    }
    return found;
}

struct KeyHit {
    LineSpan line;
    qsizetype valueBegin;
};

std::optional<KeyHit> findKey(QByteArrayView file, const SectionSpan &section, const QString &key)
{
    for (qsizetype start = section.header.next; start < section.end;) {
        const LineSpan line = lineAt(file, start);
        const auto entry = keyLine(content(file, line));
        if (entry && sameName(entry->key, key))
            return KeyHit{line, line.begin + entry->valueOffset};
        start = line.next;
    }
    return std::nullopt;
}

// The last line of the section that is not blank: the header when the
// section holds nothing else.
LineSpan lastFilledLine(QByteArrayView file, const SectionSpan &section)
{
    LineSpan last = section.header;
    for (qsizetype start = section.header.next; start < section.end;) {
        const LineSpan line = lineAt(file, start);
        if (!trimmed(content(file, line)).isEmpty())
            last = line;
        start = line.next;
    }
    return last;
}

} // namespace

namespace ProfileText {

std::optional<QByteArray> rawValue(QByteArrayView file, const QString &section, const QString &key)
{
    const auto range = findSection(file, section);
    if (!range)
        return std::nullopt;
    const auto hit = findKey(file, *range, key);
    if (!hit)
        return std::nullopt;
    return file.sliced(hit->valueBegin, hit->line.end - hit->valueBegin).toByteArray();
}

QByteArray withValue(QByteArrayView file, const QString &section, QByteArrayView sectionBytes, const QString &key,
                     QByteArrayView keyBytes, QByteArrayView valueBytes)
{
    QByteArray result;
    result.reserve(file.size() + sectionBytes.size() + keyBytes.size() + valueBytes.size() + 16);
    const auto range = findSection(file, section);
    if (range) {
        if (const auto hit = findKey(file, *range, key)) {
            result += file.first(hit->valueBegin);
            result += valueBytes;
            result += file.sliced(hit->line.end);
            return result;
        }
        // Blank lines that part the section from the next one stay where they are.
        const LineSpan after = lastFilledLine(file, *range);
        result += file.first(after.next);
        if (after.next == after.end)
            result += kLineEnd;
        result += keyBytes;
        result += '=';
        result += valueBytes;
        result += kLineEnd;
        result += file.sliced(after.next);
        return result;
    }
    result += file;
    if (!file.isEmpty()) {
        LineSpan last;
        for (qsizetype start = 0; start < file.size(); start = last.next)
            last = lineAt(file, start);
        if (last.next == last.end)
            result += kLineEnd;
        if (!trimmed(content(file, last)).isEmpty())
            result += kLineEnd;
    }
    result += '[';
    result += sectionBytes;
    result += ']';
    result += kLineEnd;
    result += keyBytes;
    result += '=';
    result += valueBytes;
    result += kLineEnd;
    return result;
}

} // namespace ProfileText

} // namespace movan
