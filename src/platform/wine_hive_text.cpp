#include "platform/wine_hive_text.h"

#include <QHash>
#include <QList>
#include <QStringList>

namespace movan {

namespace WineHive {
namespace {

constexpr QByteArrayView kHeader = "WINE REGISTRY Version 2";
const QString kMachineRoot = QStringLiteral("\\Registry\\Machine\\");
const QString kLinkValue = QStringLiteral("SymbolicLinkValue");
// A chain of links longer than this is a loop.
constexpr int kMaxLinks = 16;

struct Line {
    qsizetype start = 0;
    qsizetype end = 0; // past the line end
    QByteArray content; // without the line end
};

QList<Line> splitLines(const QByteArray &text)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype newline = text.indexOf('\n', start);
        const qsizetype end = newline < 0 ? text.size() : newline + 1;
        QByteArray content = text.mid(start, (newline < 0 ? text.size() : newline) - start);
        if (content.endsWith('\r'))
            content.chop(1);
        lines.append({start, end, content});
        start = end;
    }
    return lines;
}

int digitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// Reads an escaped name from `from` up to the unescaped terminator; the
// position past the terminator goes to *next. Nothing without a terminator.
std::optional<QString> readName(const QByteArray &line, qsizetype from, char terminator, qsizetype *next)
{
    QString name;
    qsizetype i = from;
    while (i < line.size()) {
        const char c = line[i++];
        if (c == terminator) {
            *next = i;
            return name;
        }
        if (c != '\\' || i >= line.size()) {
            name += QChar(uchar(c));
            continue;
        }
        const char e = line[i++];
        switch (e) {
        case 'a':
            name += QChar(7);
            break;
        case 'b':
            name += QChar(8);
            break;
        case 'e':
            name += QChar(27);
            break;
        case 'f':
            name += QChar(12);
            break;
        case 'n':
            name += QChar(10);
            break;
        case 'r':
            name += QChar(13);
            break;
        case 't':
            name += QChar(9);
            break;
        case 'v':
            name += QChar(11);
            break;
        case 'x': {
            char16_t code = 0;
            for (int n = 0; n < 4 && i < line.size() && digitValue(line[i], 16) >= 0; ++n)
                code = char16_t(code * 16 + digitValue(line[i++], 16));
            name += QChar(code);
            break;
        }
        default:
            if (digitValue(e, 8) >= 0) {
                char16_t code = char16_t(digitValue(e, 8));
                for (int n = 1; n < 3 && i < line.size() && digitValue(line[i], 8) >= 0; ++n)
                    code = char16_t(code * 8 + digitValue(line[i++], 8));
                name += QChar(code);
            } else {
                name += QChar(uchar(e));
            }
        }
    }
    return std::nullopt;
}

QString keyOf(const QString &path)
{
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    return parts.join(u'\\').toCaseFolded();
}

// A value: its first line and the lines past its last continuation.
struct ValueLines {
    QString name;
    qsizetype first = 0;
    qsizetype pastLast = 0;
};

struct Key {
    qsizetype header = 0;
    qsizetype pastLast = 0;
    bool link = false;
    QList<ValueLines> values;
};

class Hive {
public:
    explicit Hive(const QByteArray &text)
        : m_text(text)
        , m_lines(splitLines(text))
    {
        Key *current = nullptr;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            const QByteArray &content = m_lines[i].content;
            if (content.startsWith('[')) {
                qsizetype next = 0;
                const auto name = readName(content, 1, ']', &next);
                if (!name) {
                    current = nullptr;
                    continue;
                }
                current = &m_keys[keyOf(*name)];
                *current = Key{i, i + 1, false, {}};
                continue;
            }
            if (!current)
                continue;
            current->pastLast = i + 1;
            if (content == "#link") {
                current->link = true;
            } else if (content.startsWith('"') || content.startsWith("@=")) {
                ValueLines value;
                value.first = i;
                if (content.startsWith('"')) {
                    qsizetype next = 0;
                    const auto name = readName(content, 1, '"', &next);
                    if (!name || next >= content.size() || content[next] != '=')
                        continue;
                    value.name = *name;
                }
                while (i + 1 < m_lines.size() && m_lines[i].content.endsWith('\\'))
                    ++i;
                value.pastLast = i + 1;
                current->pastLast = i + 1;
                current->values.append(value);
            }
        }
    }

    const Key *key(const QString &path) const
    {
        const auto found = m_keys.constFind(keyOf(path));
        return found == m_keys.constEnd() ? nullptr : &*found;
    }

    const ValueLines *value(const Key &key, const QString &name) const
    {
        for (const ValueLines &value : key.values) {
            if (value.name.compare(name, Qt::CaseInsensitive) == 0)
                return &value;
        }
        return nullptr;
    }

    QByteArray valueText(const ValueLines &value) const
    {
        QByteArray joined;
        for (qsizetype i = value.first; i < value.pastLast; ++i) {
            QByteArray part = m_lines[i].content.trimmed();
            if (part.endsWith('\\'))
                part.chop(1);
            joined += part;
        }
        return joined;
    }

    // The path a link key points at, relative to the machine's root.
    std::optional<QString> linkTarget(const Key &key) const
    {
        const ValueLines *value = this->value(key, kLinkValue);
        if (!value)
            return std::nullopt;
        const QByteArray text = valueText(*value);
        const qsizetype colon = text.indexOf("hex(6):");
        if (colon < 0)
            return std::nullopt;
        QByteArray bytes;
        for (const QByteArray &hex : text.mid(colon + 7).split(',')) {
            bool ok = false;
            const uint byte = hex.trimmed().toUInt(&ok, 16);
            if (!ok || byte > 0xFF)
                return std::nullopt;
            bytes.append(char(byte));
        }
        QString target = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
        if (!target.startsWith(kMachineRoot, Qt::CaseInsensitive))
            return std::nullopt;
        return target.mid(kMachineRoot.size());
    }

    QByteArray without(qsizetype firstLine, qsizetype pastLastLine) const
    {
        const qsizetype from = m_lines[firstLine].start;
        const qsizetype to = m_lines[pastLastLine - 1].end;
        return m_text.left(from) + m_text.mid(to);
    }

private:
    QByteArray m_text;
    QList<Line> m_lines;
    QHash<QString, Key> m_keys;
};

} // namespace

bool isHiveText(const QByteArray &text)
{
    return text.startsWith(kHeader);
}

std::optional<QString> resolveKey(const QByteArray &text, const QString &path)
{
    const Hive hive(text);
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    for (int links = 0; links <= kMaxLinks; ++links) {
        bool followed = false;
        for (qsizetype length = 1; length <= parts.size() && !followed; ++length) {
            const Key *key = hive.key(parts.first(length).join(u'\\'));
            if (!key || !key->link)
                continue;
            const auto target = hive.linkTarget(*key);
            if (!target)
                return std::nullopt;
            parts = target->split(u'\\', Qt::SkipEmptyParts) + parts.mid(length);
            followed = true;
        }
        if (!followed) {
            const QString resolved = parts.join(u'\\');
            return hive.key(resolved) ? std::optional<QString>(resolved) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> withoutValue(const QByteArray &text, const QString &keyPath, const QString &valueName)
{
    const auto resolved = resolveKey(text, keyPath);
    if (!resolved)
        return std::nullopt;
    const Hive hive(text);
    const Key *key = hive.key(*resolved);
    const ValueLines *value = key ? hive.value(*key, valueName) : nullptr;
    if (!value)
        return std::nullopt;
    return hive.without(value->first, value->pastLast);
}

} // namespace WineHive

} // namespace movan
