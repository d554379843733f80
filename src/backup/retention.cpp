#include "backup/retention.h"

#include "backup/backup_file_name.h"
#include "backup/verified_record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace movan {

QStringList backupsToRemove(const QStringList &fileNames, const QString &database, int keep, const QString &justWritten,
                            const QSet<QString> &verified)
{
    if (keep < 1)
        return {};
    struct Candidate {
        QString moment;
        QString name;
    };
    QList<Candidate> candidates;
    for (const QString &name : fileNames) {
        if (name == justWritten || !verified.contains(name))
            continue;
        if (const auto moment = backupFileMoment(database, name))
            candidates.append({*moment, name});
    }
    // Newest first; the one just written holds the first place of keep.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        return a.moment != b.moment ? a.moment > b.moment : a.name > b.name;
    });
    QStringList chosen;
    for (qsizetype i = keep - 1; i < candidates.size(); ++i)
        chosen.append(candidates[i].name);
    return chosen;
}

RetentionOutcome removeOldBackups(const QString &folder, const QString &database, int keep, const QString &justWritten)
{
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDir::Name);
    const QSet<QString> verified = verifiedBackups(folder);
    RetentionOutcome outcome;
    for (const QString &name : names)
        if (name != justWritten && !verified.contains(name) && backupFileMoment(database, name))
            outcome.unverified.append(dir.filePath(name));
    for (const QString &name : backupsToRemove(names, database, keep, justWritten, verified)) {
        const QString path = dir.filePath(name);
        QFile file(path);
        // Listed as a regular file a moment ago; checked again right before.
        if (QFileInfo(path).isSymLink() || !QFileInfo(path).isFile())
            continue;
        if (file.remove()) {
            outcome.removed.append(path);
        } else {
            outcome.kept.append(path);
            outcome.reasons.append(file.errorString());
        }
    }
    return outcome;
}

} // namespace movan
