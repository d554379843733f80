#include "cli/backup_command.h"

#include "backup/backup_file_name.h"
#include "backup/backup_folder.h"
#include "backup/backup_outcome.h"
#include "backup/backup_sets.h"
#include "backup/retention.h"
#include "backup/verified_record.h"
#include "cli/progress_report.h"
#include "db/database.h"
#include "settings/maintenance_connection.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace movan {

namespace {

// A reason as one line of the journal.
QString oneLine(const QString &text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    return line.trimmed();
}

QString reasonOf(const std::exception &error)
{
    return oneLine(QString::fromUtf8(error.what()));
}

bool presentAt(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

ExitCode settingsMissing(const CliOutput &output)
{
    const QString path = settingsFilePath(Settings::kFileName);
    // Without the file there is neither a ticket's server nor a login to
    // speak of: the file is what to fix.
    if (!openSettingsFile(Settings::kFileName).exists())
        output.message(CliText::settingsFileMissing(output.language, path));
    else
        output.message(CliText::settingsMissing(output.language, path));
    return ExitCode::SettingsMissing;
}

// Opens the maintenance connection; the exit code when it cannot be had.
std::optional<ExitCode> openConnection(DbConnection &connection, const QString &connectionString,
                                       const CliOutput &output)
{
    connection.setConnectionString(connectionString);
    try {
        connection.open();
    } catch (const std::exception &error) {
        output.message(CliText::serverUnreachable(output.language, reasonOf(error)));
        return ExitCode::ServerUnreachable;
    }
    return std::nullopt;
}

// The position of the set this run appended: the last one of the database.
int positionOfNewSet(const QList<BackupSetSummary> &sets, const QString &database)
{
    int position = 0;
    for (const BackupSetSummary &set : sets)
        if (set.backupType == kDatabaseBackupType && set.database.compare(database, Qt::CaseInsensitive) == 0)
            position = set.position;
    return position;
}

// The backup is written but nobody read it back: it stays, out of the
// record of verified backups, and the code says so.
ExitCode notVerified(const CliOutput &output, const QString &database, const QString &folder, const QString &fileName,
                     const QString &reason)
{
    recordVerification(folder, fileName, false);
    output.message(CliText::backupNotVerified(output.language, database, QDir(folder).filePath(fileName), reason));
    return ExitCode::NotVerified;
}

} // namespace

QString backupFolder(const QString &given)
{
    const QString folder = given.isEmpty() ? defaultBackupFolder() : given;
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

std::optional<QString> folderProblem(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.exists() && !QDir().mkpath(folder))
        return QStringLiteral("the folder cannot be created");
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("not a folder");
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return std::nullopt;
}

ExitCode runBackup(const BackupRequest &request, const CliOutput &output, const QDateTime &now)
{
    const QString &database = request.database;
    const CliLanguage language = output.language;
    // The settings decide before anything touches the folder.
    const auto connectionString = maintenanceConnectionString();
    if (!connectionString)
        return settingsMissing(output);
    const QString folder = backupFolder(request.folder);
    if (const auto problem = folderProblem(folder)) {
        output.message(CliText::folderNotWritable(language, folder, *problem));
        return ExitCode::FolderNotWritable;
    }
    DbConnection connection;
    if (const auto failure = openConnection(connection, *connectionString, output))
        return *failure;

    const QString fileName = backupFileName(database, now);
    const QString path = QDir(folder).filePath(fileName);
    // A second run in the same minute appends to the first one's file, which
    // then is not this run's to remove.
    const bool existedBefore = presentAt(path);

    // Known without reading the file when the server was asked about a lost reply.
    int position = 0;
    ProgressReport progress(output.terminal, language, database, output.progress);
    const QDateTime sentAt = QDateTime::currentDateTime();
    try {
        appendBackupSet(connection, database, path, [&progress](int percent) { progress.percent(percent); });
        progress.finish();
    } catch (const std::exception &error) {
        progress.finish();
        const auto *lost = dynamic_cast<const DatabaseError *>(&error);
        if (!lost || !lost->outcomeUnknown()) {
            // An empty file a refused backup left behind is no backup at all;
            // one with content may be another run's of the same minute, so it stays.
            const QFileInfo left(path);
            if (!existedBefore && left.isFile() && !left.isSymLink() && left.size() == 0)
                QFile::remove(path);
            output.message(CliText::backupRefused(language, database, reasonOf(error)));
            return ExitCode::BackupRefused;
        }
        // The server may have written the set, or be writing it: nothing
        // here is removed, whatever the answer.
        const BackupResolution resolution = resolveBackupOutcome(*connectionString, database, path, sentAt);
        switch (resolution.outcome) {
        case BackupOutcome::NotDone:
            output.message(CliText::replyLostNotDone(language, database, path, reasonOf(error)));
            return ExitCode::BackupRefused;
        case BackupOutcome::Unknown:
            output.message(CliText::outcomeUnknown(
                language, database, path, reasonOf(error) + QStringLiteral("; ") + oneLine(resolution.reason)));
            return ExitCode::OutcomeUnknown;
        case BackupOutcome::Done:
            output.message(CliText::replyLostDone(language, database, path));
            position = resolution.position;
            break;
        }
        // The request's own connection is not to be trusted after a lost reply.
        connection.close();
        if (!request.verify) {
            output.message(CliText::backupDone(language, database, path, false));
            return ExitCode::Done;
        }
        try {
            connection.open();
        } catch (const std::exception &reopen) {
            return notVerified(output, database, folder, fileName, reasonOf(reopen));
        }
    }

    if (!request.verify) {
        output.message(CliText::backupDone(language, database, path, false));
        return ExitCode::Done;
    }

    bool createdByThisRun = !existedBefore;
    VerifyResult check;
    try {
        if (position == 0) {
            const QList<BackupSetSummary> sets = readBackupSets(connection, path);
            // Sets beside this run's one came from another run.
            createdByThisRun = createdByThisRun && sets.size() <= 1;
            position = positionOfNewSet(sets, database);
        }
        check = verifyBackupSet(connection, path, position);
    } catch (const std::exception &error) {
        check = {verdictOf(error), reasonOf(error)};
    }
    switch (check.verdict) {
    case Verification::NotVerified:
        return notVerified(output, database, folder, fileName, check.reason);
    case Verification::Damaged: {
        recordVerification(folder, fileName, false);
        QFile file(path);
        if (createdByThisRun && (!presentAt(path) || file.remove())) {
            output.message(CliText::verifyFailedRemoved(language, database, path, check.reason));
        } else {
            const QString why
                = createdByThisRun ? check.reason + QStringLiteral("; ") + file.errorString() : check.reason;
            output.message(CliText::verifyFailedKept(language, database, path, why));
        }
        return ExitCode::VerifyFailed;
    }
    case Verification::Sound:
        break;
    }
    output.message(CliText::backupDone(language, database, path, true));
    if (const auto problem = recordVerification(folder, fileName, true))
        output.message(
            CliText::verificationNotRecorded(language, QDir(folder).filePath(kVerifiedRecordName), oneLine(*problem)));

    if (request.keep < 1)
        return ExitCode::Done;
    const RetentionOutcome outcome = removeOldBackups(folder, database, request.keep, fileName);
    for (const QString &removed : outcome.removed)
        output.message(CliText::oldBackupRemoved(language, removed));
    for (qsizetype i = 0; i < outcome.kept.size(); ++i)
        output.message(CliText::oldBackupKept(language, outcome.kept[i], oneLine(outcome.reasons[i])));
    for (const QString &unverified : outcome.unverified)
        output.message(CliText::oldBackupUnverified(language, unverified));
    return outcome.kept.isEmpty() ? ExitCode::Done : ExitCode::OldBackupsKept;
}

ExitCode runListSets(const ListSetsRequest &request, const CliOutput &output)
{
    // The server opens the file: it gets the path whole, not relative to a
    // working directory it does not share.
    const QString file = QDir::cleanPath(QDir::current().absoluteFilePath(request.file));
    const auto connectionString = maintenanceConnectionString();
    if (!connectionString)
        return settingsMissing(output);
    DbConnection connection;
    if (const auto failure = openConnection(connection, *connectionString, output))
        return *failure;
    QList<BackupSetSummary> sets;
    try {
        sets = readBackupSets(connection, file);
    } catch (const std::exception &error) {
        output.message(CliText::fileNotRead(output.language, file, reasonOf(error)));
        return ExitCode::BackupRefused;
    }
    output.data(CliText::listHeader(output.language) + u'\n');
    for (const BackupSetSummary &set : sets)
        output.data(listLine(set));
    return ExitCode::Done;
}

QString listLine(const BackupSetSummary &set)
{
    // Digits and the 24-hour clock of the C locale, whatever the user's.
    const QString date = set.finished.isValid()
        ? QLocale::c().toString(set.finished, QStringLiteral("yyyy-MM-dd HH:mm"))
        : QStringLiteral("-");
    return QStringLiteral("%1\t%2\t%3\t%4\n")
        .arg(QString::number(set.position), oneLine(set.database), date, QString::number(set.sizeBytes));
}

} // namespace movan
