#include "maintenance/restore_journal.h"

#include "platform/executable_path.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <array>
#include <cstdio>
#include <sys/stat.h>
#include <utility>

namespace movan {

namespace {

const QString kJournalFileName = QStringLiteral("RestoreJournal.json");

constexpr std::array<std::pair<RestoreStep, const char *>, 8> kStepNames{{
    {RestoreStep::SafetyCopySent, "safety-copy-sent"},
    {RestoreStep::SafetyCopyVerified, "safety-copy-verified"},
    {RestoreStep::SiblingsStopped, "siblings-stopped"},
    {RestoreStep::DropSent, "drop-sent"},
    {RestoreStep::DropDone, "drop-done"},
    {RestoreStep::RestoreSent, "restore-sent"},
    {RestoreStep::RestoreDone, "restore-done"},
    {RestoreStep::BringBackSent, "bring-back-sent"},
}};

QString moment(const QDateTime &when)
{
    return when.isValid() ? when.toString(Qt::ISODateWithMs) : QString();
}

} // namespace

QString restoreStepName(RestoreStep step)
{
    for (const auto &[known, name] : kStepNames)
        if (known == step)
            return QString::fromLatin1(name);
    return {};
}

std::optional<RestoreStep> restoreStepFromName(const QString &name)
{
    for (const auto &[step, known] : kStepNames)
        if (name == QLatin1String(known))
            return step;
    return std::nullopt;
}

QString restoreJournalPath()
{
    return executableDirectory() + kJournalFileName;
}

std::optional<RestoreJournal> readRestoreJournal(const QString &path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    const std::optional<RestoreStep> step = restoreStepFromName(o.value(QStringLiteral("step")).toString());
    const QString target = o.value(QStringLiteral("target")).toString();
    if (!step || target.isEmpty()) {
        std::fprintf(stderr, "%s is not a restore journal; it is left as it is\n", qPrintable(path));
        return std::nullopt;
    }
    RestoreJournal journal;
    journal.step = *step;
    journal.target = target;
    journal.backupFile = o.value(QStringLiteral("backupFile")).toString();
    journal.position = o.value(QStringLiteral("position")).toInt();
    journal.targetExisted = o.value(QStringLiteral("targetExisted")).toBool();
    journal.safetyCopy = o.value(QStringLiteral("safetyCopy")).toString();
    journal.safetySetName = o.value(QStringLiteral("safetySetName")).toString();
    journal.safetyPosition = o.value(QStringLiteral("safetyPosition")).toInt();
    journal.started = QDateTime::fromString(o.value(QStringLiteral("started")).toString(), Qt::ISODateWithMs);
    journal.restoreSent = QDateTime::fromString(o.value(QStringLiteral("restoreSent")).toString(), Qt::ISODateWithMs);
    return journal;
}

std::optional<QString> writeRestoreJournal(const QString &path, const RestoreJournal &journal)
{
    const QJsonObject o{
        {QStringLiteral("step"), restoreStepName(journal.step)},
        {QStringLiteral("target"), journal.target},
        {QStringLiteral("backupFile"), journal.backupFile},
        {QStringLiteral("position"), journal.position},
        {QStringLiteral("targetExisted"), journal.targetExisted},
        {QStringLiteral("safetyCopy"), journal.safetyCopy},
        {QStringLiteral("safetySetName"), journal.safetySetName},
        {QStringLiteral("safetyPosition"), journal.safetyPosition},
        {QStringLiteral("started"), moment(journal.started)},
        {QStringLiteral("restoreSent"), moment(journal.restoreSent)},
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // Other administrators of the installation must find it; nobody else
    // needs to read which files hold the user's data.
    ::fchmod(file.handle(), 0660);
    file.write(QJsonDocument(o).toJson());
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

void removeRestoreJournal(const QString &path)
{
    QFile::remove(path);
}

} // namespace movan
