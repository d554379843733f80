#include "platform/profile_file.h"

#include "platform/ansi_codec.h"
#include "platform/blank_text.h"
#include "platform/link_chain.h"
#include "platform/locked_file.h"
#include "platform/profile_text.h"

#include <QFile>
#include <QFileInfo>

namespace movan {

namespace {

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

QString withoutTrailingBlanks(QString text)
{
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// what names the text for the refusal; a value is named by its key alone.
QByteArray encodeOrRefuse(const QString &text, const QString &what)
{
    if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0)))
        throw ProfileWriteError(
            QStringLiteral("%1 holds a line break and cannot be stored in the settings file.").arg(what));
    const auto encoded = AnsiCodec::encode(text);
    if (!encoded)
        throw ProfileWriteError(
            QStringLiteral("%1 holds characters that the settings file's code page (Windows-1256) cannot store.")
                .arg(what));
    return *encoded;
}

} // namespace

ProfileFile::ProfileFile(QString path)
    : m_path(std::move(path))
{}

bool ProfileFile::exists() const
{
    return QFileInfo(m_path).isFile();
}

const QByteArray &ProfileFile::contents() const
{
    if (!m_contents)
        m_contents = LockedFile::read(QFile::encodeName(m_path)).value_or(QByteArray());
    return *m_contents;
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const auto raw = ProfileText::rawValue(contents(), section, key);
    if (!raw)
        return withoutTrailingBlanks(defaultValue);
    return unquote(AnsiCodec::decode(*raw)).left(kMaxValueLength);
}

void ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const QByteArray sectionBytes = encodeOrRefuse(section, QStringLiteral("The section name \"%1\"").arg(section));
    const QByteArray keyBytes = encodeOrRefuse(key, QStringLiteral("The key \"%1\"").arg(key));
    const QByteArray valueBytes = encodeOrRefuse(value, QStringLiteral("The value of \"%1\"").arg(key));
    if (key.contains(u'=') || trimBlanks(key).isEmpty())
        throw ProfileWriteError(QStringLiteral("\"%1\" cannot be a key of the settings file.").arg(key));

    const auto target = trustedLinkTarget(QFile::encodeName(m_path));
    QByteArray written;
    const bool stored
        = target
        && LockedFile::rewrite(
              *target,
              [&](QByteArrayView current) {
                  return ProfileText::withValue(current, section, sectionBytes, key, keyBytes, valueBytes);
              },
              &written);
    if (!stored)
        throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(m_path));
    m_contents = std::move(written);
}

} // namespace movan
