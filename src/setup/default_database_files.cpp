#include "setup/default_database_files.h"

#include "platform/executable_path.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace movan {

namespace {

// Names compared as an NTFS folder orders them: by their upper-case form,
// so "_" (after the capitals) sorts after letters. Names equal but for case
// keep a fixed order by their exact form.
bool beforeInFolderOrder(const QString &a, const QString &b)
{
    const int folded = QString::compare(a.toUpper(), b.toUpper(), Qt::CaseSensitive);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

QString defaultDatabaseFolder()
{
    return executableDirectory() + QStringLiteral("Data/");
}

QString firstFileWithExtension(const QString &folder, const QString &extension)
{
    const QString suffix = u'.' + extension;
    QStringList names;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (name.endsWith(suffix, Qt::CaseInsensitive) && QFileInfo(dir.filePath(name)).isFile())
            names.append(name);
    }
    if (names.isEmpty())
        return {};
    return dir.filePath(*std::min_element(names.cbegin(), names.cend(), beforeInFolderOrder));
}

} // namespace movan
