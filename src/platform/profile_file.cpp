#include "platform/profile_file.h"

#include "platform/ansi_codec.h"
#include "platform/atomic_file.h"
#include "platform/blank_text.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <sys/stat.h>

#include <optional>

namespace {

constexpr QByteArrayView kLineEnd = "\r\n";

struct Line {
    QByteArray content;    // without its line end
    QByteArray terminator; // "\r\n", "\n", "\r" or empty for a last line without one
    QString text;          // content decoded
};

QList<Line> splitLines(const QByteArray &bytes)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        Line line;
        line.content = bytes.mid(start, end - start);
        qsizetype next = end;
        if (end < bytes.size()) {
            next = end + 1;
            if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n')
                ++next;
        }
        line.terminator = bytes.mid(end, next - end);
        line.text = AnsiCodec::decode(line.content);
        lines.append(std::move(line));
        start = next;
    }
    return lines;
}

std::optional<QString> sectionName(const QString &text)
{
    const QString trimmed = trimBlanks(text);
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    return trimBlanks(QStringView(trimmed).mid(1, close < 0 ? -1 : close - 1));
}

struct KeyLine {
    QString key;
    QString value; // untrimmed, as it stands after the '='
};

std::optional<KeyLine> keyLine(const QString &text)
{
    const QString trimmed = trimBlanks(text);
    if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype eq = text.indexOf(u'=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine{trimBlanks(QStringView(text).left(eq)), text.mid(eq + 1)};
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Lines [first, end) of the first section with this name, first being the
// line after its header; nothing when there is no such section.
struct SectionRange {
    qsizetype first = -1;
    qsizetype end = -1;
};

std::optional<SectionRange> findSection(const QList<Line> &lines, const QString &section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i].text);
        if (!name || !sameName(*name, section))
            continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionName(lines[end].text))
            ++end;
        return SectionRange{i + 1, end};
    }
    return std::nullopt;
}

std::optional<qsizetype> findKey(const QList<Line> &lines, const SectionRange &range, const QString &key)
{
    for (qsizetype i = range.first; i < range.end; ++i) {
        const auto entry = keyLine(lines[i].text);
        if (entry && sameName(entry->key, key))
            return i;
    }
    return std::nullopt;
}

QString unquote(const QString &value)
{
    const QString trimmed = trimBlanks(value);
    if (trimmed.size() >= 2) {
        const QChar first = trimmed.front();
        if ((first == u'"' || first == u'\'') && trimmed.back() == first)
            return trimmed.mid(1, trimmed.size() - 2);
    }
    return trimmed;
}

QByteArray encodeOrRefuse(const QString &text, const QString &what)
{
    if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0)))
        throw ProfileWriteError(QStringLiteral("The %1 \"%2\" holds a line break and cannot be stored in the settings file.")
                                    .arg(what, text));
    const auto encoded = AnsiCodec::encode(text);
    if (!encoded)
        throw ProfileWriteError(QStringLiteral("The %1 \"%2\" holds characters that the settings file's code page (Windows-1256) cannot store.")
                                    .arg(what, text));
    return *encoded;
}

QByteArray join(const QList<Line> &lines)
{
    QByteArray bytes;
    for (const Line &line : lines)
        bytes += line.content + line.terminator;
    return bytes;
}

Line makeLine(const QByteArray &content)
{
    return Line{content, kLineEnd.toByteArray(), QString()};
}

} // namespace

ProfileFile::ProfileFile(QString path)
    : m_path(std::move(path))
{
}

bool ProfileFile::exists() const
{
    return QFileInfo(m_path).isFile();
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QList<Line> lines = splitLines(file.readAll());
    const auto range = findSection(lines, section);
    if (!range)
        return defaultValue;
    const auto index = findKey(lines, *range, key);
    if (!index)
        return defaultValue;
    return unquote(keyLine(lines[*index].text)->value).left(kMaxValueLength);
}

void ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const QByteArray sectionBytes = encodeOrRefuse(section, QStringLiteral("section name"));
    const QByteArray keyBytes = encodeOrRefuse(key, QStringLiteral("key"));
    const QByteArray valueBytes = encodeOrRefuse(value, QStringLiteral("value"));
    if (key.contains(u'=') || trimBlanks(key).isEmpty())
        throw ProfileWriteError(QStringLiteral("\"%1\" cannot be a key of the settings file.").arg(key));

    // Resolve a link so that the file it points at is replaced, not the link.
    const QFileInfo info(m_path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : m_path;

    QByteArray current;
    QFile file(target);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(m_path));
        current = file.readAll();
        file.close();
    }

    QList<Line> lines = splitLines(current);
    const auto range = findSection(lines, section);
    if (range) {
        if (const auto index = findKey(lines, *range, key)) {
            Line &line = lines[*index];
            const qsizetype eq = line.content.indexOf('=');
            line.content = line.content.left(eq + 1) + valueBytes;
            if (line.terminator.isEmpty() && *index + 1 < lines.size())
                line.terminator = kLineEnd.toByteArray();
        } else {
            // After the section's last non-blank line, so blank lines that
            // separate it from the next section stay where they are.
            qsizetype after = range->first - 1;
            for (qsizetype i = range->first; i < range->end; ++i)
                if (!trimBlanks(lines[i].text).isEmpty())
                    after = i;
            if (lines[after].terminator.isEmpty())
                lines[after].terminator = kLineEnd.toByteArray();
            lines.insert(after + 1, makeLine(keyBytes + '=' + valueBytes));
        }
    } else {
        if (!lines.isEmpty()) {
            if (lines.back().terminator.isEmpty())
                lines.back().terminator = kLineEnd.toByteArray();
            if (!trimBlanks(lines.back().text).isEmpty())
                lines.append(makeLine({}));
        }
        lines.append(makeLine('[' + sectionBytes + ']'));
        lines.append(makeLine(keyBytes + '=' + valueBytes));
    }

    // A new file holds a password: its owner alone may read it.
    if (!replaceFileAtomically(target, join(lines), S_IRUSR | S_IWUSR))
        throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(m_path));
}
