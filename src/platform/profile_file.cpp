#include "platform/profile_file.h"

#include "platform/ansi_codec.h"
#include "platform/blank_text.h"
#include "platform/link_chain.h"
#include "platform/locked_file.h"
#include "platform/profile_text.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>

namespace movan {

namespace {

// Keeps a path left to right inside a Persian line, its slashes included.
const QString kLeftToRightMark = QStringLiteral("\u200E");

const QString kWriteFailed = QStringLiteral("تنظيمات ذخيره نشد و فايل %1 دست نخورده ماند.");
const QString kReadFailed = QStringLiteral("تنظيمات ذخيره شده خوانده نشد: برنامه نمي تواند فايل %1 را بخواند.");
const QString kFolderLine = QStringLiteral("پوشه: %1");
const QString kReasonLine = QStringLiteral("علت: %1");

const QString kNoWritePermission = QStringLiteral("اجازه نوشتن در آن را نداريد");
const QString kNoReadPermission = QStringLiteral("اجازه خواندن آن را نداريد");
const QString kReadOnlyDisk = QStringLiteral("ديسک آن فقط خواندني است");
const QString kDiskFull = QStringLiteral("فضاي ديسک پر است");
const QString kQuotaFull = QStringLiteral("سهميه ديسک شما پر است");
const QString kNoFolder = QStringLiteral("اين پوشه وجود ندارد");
const QString kNotRegular = QStringLiteral("به جاي فايل، يک پوشه، لوله (FIFO) يا دستگاه با اين نام آنجاست");
const QString kReadOnlyFile = QStringLiteral("فايل فقط خواندني است");
const QString kUntrustedLink
    = QStringLiteral("فايل پيوندي (link) است که مقصدش وجود ندارد يا پيوند از آن کاربر ديگري است");
const QString kLocked = QStringLiteral("برنامه ديگري فايل را قفل کرده و رها نمي کند");
const QString kGivenUp
    = QStringLiteral("ذخيره تنظيمات رها شد و فايل %1 دست نخورده ماند: برنامه ديگري آن را در دست داشت.");
const QString kDiskError = QStringLiteral("خطاي ديسک در خواندن يا نوشتن");

const QString kGrantWrite = QStringLiteral("مدير سيستم بايد به شما اجازه نوشتن در اين پوشه و اين فايل را بدهد.");
const QString kGrantRead = QStringLiteral("مدير سيستم بايد به شما اجازه خواندن اين فايل را بدهد.");
const QString kGroupHint = QStringLiteral(" (براي نمونه با افزودن شما به گروه %1)");
const QString kFreeSpace = QStringLiteral("فضاي ديسک را آزاد کنيد و دوباره ذخيره کنيد.");
const QString kTryLater = QStringLiteral("کمي بعد دوباره امتحان کنيد.");
const QString kRemoveIt
    = QStringLiteral("مدير سيستم بايد آن را از اين پوشه بردارد تا برنامه فايل تنظيمات را خودش بسازد.");

const QString kLineBreakRefused = QStringLiteral("%1 شکست سطر دارد و در فايل تنظيمات جا نمي گيرد.");
const QString kCodePageRefused
    = QStringLiteral("%1 نويسه هايي دارد که فايل تنظيمات (با کدپيج Windows-1256) نمي تواند نگه دارد.");
const QString kBadKey = QStringLiteral("«%1» نمي تواند نام کليدي در فايل تنظيمات باشد.");
const QString kSectionWhat = QStringLiteral("نام بخش «%1»");
const QString kKeyWhat = QStringLiteral("نام کليد «%1»");
const QString kValueWhat = QStringLiteral("مقدار «%1»");

enum class Access { Read, Write };

QString isolated(const QString &path)
{
    return kLeftToRightMark + path + kLeftToRightMark;
}

QString reasonText(int error, Access access)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return access == Access::Write ? kNoWritePermission : kNoReadPermission;
    case EROFS:
        return kReadOnlyDisk;
    case ENOSPC:
        return kDiskFull;
    case EDQUOT:
        return kQuotaFull;
    case ENOENT:
    case ENOTDIR:
        return kNoFolder;
    case EIO:
        return kDiskError;
    case EWOULDBLOCK:
        return kLocked;
    case LockedFile::kNotRegularFile:
        return kNotRegular;
    case LockedFile::kReadOnlyFile:
        return kReadOnlyFile;
    case LockedFile::kUntrustedLink:
    case ELOOP:
        return kUntrustedLink;
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// The group that shares the folder, when it is not the superuser's: the one
// an administrator adds the user to.
QString sharingGroupHint(const QString &folder)
{
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || st.st_gid == 0)
        return {};
    const struct group *entry = ::getgrgid(st.st_gid);
    if (!entry || !entry->gr_name)
        return {};
    return kGroupHint.arg(QString::fromLocal8Bit(entry->gr_name));
}

QString adviceText(int error, Access access, const QString &folder)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return kFreeSpace;
    case EWOULDBLOCK:
        return kTryLater;
    case LockedFile::kNotRegularFile:
        return kRemoveIt;
    default: {
        QString advice = access == Access::Write ? kGrantWrite : kGrantRead;
        const QString hint = sharingGroupHint(folder);
        if (!hint.isEmpty())
            advice.insert(advice.size() - 1, hint);
        return advice;
    }
    }
}

QString problemMessage(const QString &path, int error, Access access)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const QString headline = (access == Access::Write ? kWriteFailed : kReadFailed).arg(info.fileName());
    return headline + u'\n' + kFolderLine.arg(isolated(folder)) + u'\n' + kReasonLine.arg(reasonText(error, access))
        + u'.' + u'\n' + adviceText(error, access, folder);
}

QString unquote(const QString &value)
{
    QString trimmed = trimBlanks(value);
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
        throw ProfileWriteError(kLineBreakRefused.arg(what));
    const auto encoded = AnsiCodec::encode(text);
    if (!encoded)
        throw ProfileWriteError(kCodePageRefused.arg(what));
    return *encoded;
}

struct EncodedKey {
    QString key;
    QByteArray keyBytes;
    QByteArray valueBytes;
};

} // namespace

ProfileFile::ProfileFile(QString path)
    : m_path(std::move(path))
{}

bool ProfileFile::exists() const
{
    struct stat st {};
    return ::stat(QFile::encodeName(m_path).constData(), &st) == 0;
}

const QByteArray &ProfileFile::contents() const
{
    if (!m_contents) {
        int error = 0;
        auto bytes = LockedFile::read(QFile::encodeName(m_path), &error);
        if (!bytes && error != ENOENT && error != ENOTDIR)
            throw ProfileReadError(problemMessage(m_path, error, Access::Read));
        m_contents = bytes.value_or(QByteArray());
    }
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
    writeStrings(section, {{key, value}});
}

void ProfileFile::writeStrings(const QString &section, const QList<std::pair<QString, QString>> &keysAndValues)
{
    // Everything is checked before the file is touched.
    const QByteArray sectionBytes = encodeOrRefuse(section, kSectionWhat.arg(section));
    QList<EncodedKey> keys;
    for (const auto &[key, value] : keysAndValues) {
        const QByteArray keyBytes = encodeOrRefuse(key, kKeyWhat.arg(key));
        const QByteArray valueBytes = encodeOrRefuse(value, kValueWhat.arg(key));
        if (key.contains(u'=') || trimBlanks(key).isEmpty())
            throw ProfileWriteError(kBadKey.arg(key));
        keys.append({key, keyBytes, valueBytes});
    }

    const auto target = trustedLinkTarget(QFile::encodeName(m_path));
    QByteArray written;
    int error = LockedFile::kUntrustedLink;
    const bool stored
        = target
        && LockedFile::rewrite(
              *target,
              [&](QByteArrayView current) {
                  QByteArray text = current.toByteArray();
                  for (const EncodedKey &k : keys)
                      text = ProfileText::withValue(text, section, sectionBytes, k.key, k.keyBytes, k.valueBytes);
                  return text;
              },
              &written, &error, m_giveUp);
    if (!stored && error == ECANCELED)
        throw ProfileWriteGivenUp(kGivenUp.arg(QFileInfo(m_path).fileName()));
    if (!stored)
        throw ProfileWriteError(problemMessage(m_path, error, Access::Write));
    m_contents = std::move(written);
}

} // namespace movan
