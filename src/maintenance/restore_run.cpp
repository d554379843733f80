#include "maintenance/restore_run.h"

#include "db/blocking_call.h"
#include "maintenance/batch_record.h"
#include "maintenance/batches.h"
#include "maintenance/busy_indicator_calls.h"
#include "maintenance/process_termination.h"
#include "maintenance/restore_messages.h"
#include "maintenance/restore_operation.h"
#include "maintenance/restore_plan.h"
#include "maintenance/restore_server_facts.h"
#include "maintenance/restore_settle.h"
#include "platform/executable_path.h"
#include "util/isolated_text.h"
#include "util/line_breaks.h"
#include "util/persian_date.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/close_guard/close_after_call.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cstdio>
#include <functional>
#include <thread>

namespace movan {

namespace {

const QString kConfirmRestore = QStringLiteral("كاربر گرامي\r\nايا از برگرداندن اطلاعات مطمئن هستيد ؟");
const QString kYes = QStringLiteral("بلي");
const QString kNo = QStringLiteral("خير");
const QString kCreateRecord = QStringLiteral("Create.txt");
const QString kRestoreRecord = QStringLiteral("Restore.txt");
const QString kSiblingPrograms[] = {QStringLiteral("Telvarex"), QStringLiteral("Cordanex")};
constexpr int kNoTimeLimit = 0;

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString reason(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

void prepare(DbQuery &query, const QString &connection, const std::string &sql)
{
    query.setConnectionString(connection);
    // The text is built with its names and paths quoted; a ":" in a path is
    // no parameter.
    query.setParamCheck(false);
    query.setSqlText(QString::fromStdString(sql));
}

// Records the batch beside the executable, then runs it; a record that
// cannot be written does not hold the batch back.
void recordAndRun(DbQuery &query, const QString &connection, const std::string &sql, const QString &recordName)
{
    prepare(query, connection, sql);
    if (const std::optional<QString> problem
        = writeBatchRecord(executableDirectory() + recordName, QString::fromStdString(sql)))
        std::fprintf(stderr, "%s\n", problem->toUtf8().constData());
    try {
        query.execSQL();
    } catch (...) {
        query.releaseConnection();
        throw;
    }
    query.releaseConnection();
}

QString randomPart()
{
    return QString::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, u'0');
}

bool diskFull(const QString &serverText)
{
    return serverText.contains(QLatin1String("112(")) || serverText.contains(QLatin1String("not enough space"))
        || serverText.contains(QLatin1String("No space left"));
}

} // namespace

RestoreRun::RestoreRun(const RestoreWindowParts &parts, QString target, QString backupFile, QString connectionString)
    : m_parts(parts)
    , m_folder(executableDirectory())
    , m_connectionString(std::move(connectionString))
    , m_journalPath(restoreJournalPath())
{
    m_journal.target = std::move(target);
    m_journal.backupFile = std::move(backupFile);
    m_server.setConnectionString(m_connectionString);
}

bool RestoreRun::closing() const
{
    return m_parts.closeGuard.closeRequested();
}

bool RestoreRun::record(RestoreStep step)
{
    m_journal.step = step;
    if (const std::optional<QString> problem = writeRestoreJournal(m_journalPath, m_journal)) {
        std::fprintf(stderr, "the restore journal %s cannot be written: %s\n", qPrintable(m_journalPath),
                     qPrintable(*problem));
        return false;
    }
    return true;
}

void RestoreRun::finishWithoutChange(const QString &why, const QString &details)
{
    hideBusyIgnoringErrors(m_parts.busy);
    removeRestoreJournal(m_journalPath);
    if (!closing())
        showRestoreFailure(m_parts.window, why + u'\n' + kNothingChanged, details);
}

bool RestoreRun::check()
{
    const QString &target = m_journal.target;
    const QString &file = m_journal.backupFile;
    showBusyIgnoringErrors(m_parts.busy, kChecking);
    try {
        const std::optional<BackupSetSummary> newest = newestDatabaseSet(readBackupSets(m_server, file));
        if (!newest) {
            finishWithoutChange(kNoDatabaseSet);
            return false;
        }
        m_set = *newest;

        DbQuery files;
        files.setConnection(&m_server);
        files.setParamCheck(false);
        files.setSqlText(QString::fromStdString(setFileListSql(utf8(file), m_set.position)));
        bool hasData = false;
        bool hasLog = false;
        const QString dataName = QString::fromLatin1(kRestoredDataLogicalName);
        const QString logName = QString::fromLatin1(kRestoredLogLogicalName);
        files.open();
        for (files.first(); !files.eof(); files.next()) {
            const QString logical = files.fieldByName(QStringLiteral("LogicalName"));
            hasData |= logical.compare(dataName, Qt::CaseInsensitive) == 0;
            hasLog |= logical.compare(logName, Qt::CaseInsensitive) == 0;
        }
        files.close();
        if (!hasData || !hasLog) {
            finishWithoutChange(kWrongLogicalFiles.arg(dataName, logName));
            return false;
        }

        const VerifyResult verified = verifyBackupSet(m_server, file, m_set.position);
        if (verified.verdict != Verification::Sound) {
            finishWithoutChange(verified.verdict == Verification::Damaged ? kDamagedSet : kSetNotVerified,
                                verified.reason);
            return false;
        }

        QMap<int, QString> names;
        DbQuery databases;
        databases.setConnection(&m_server);
        databases.setParamCheck(false);
        databases.setSqlText(QString::fromLatin1(kDatabasesSql));
        databases.open();
        int targetId = 0; // the server compares names without regard to case
        for (databases.first(); !databases.eof(); databases.next()) {
            const int id = databases.fieldValue(QStringLiteral("dbid")).toInt();
            const QString name = databases.fieldByName(QStringLiteral("name"));
            names.insert(id, name);
            if (name.compare(target, Qt::CaseInsensitive) == 0)
                targetId = id;
        }
        databases.close();
        QList<DatabaseFileRow> rows;
        DbQuery allFiles;
        allFiles.setConnection(&m_server);
        allFiles.setParamCheck(false);
        allFiles.setSqlText(QString::fromLatin1(kDatabaseFilesSql));
        allFiles.open();
        for (allFiles.first(); !allFiles.eof(); allFiles.next())
            rows.append({allFiles.fieldValue(QStringLiteral("dbid")).toInt(),
                         allFiles.fieldByName(QStringLiteral("filename")),
                         allFiles.fieldValue(QStringLiteral("size")).toLongLong()});
        allFiles.close();

        for (const DatabaseFileRow &row : rows)
            if (row.dbid == targetId)
                m_targetBytes += row.pages * 8192;

        // The folder may be reached through a link; the server records the
        // path it resolved.
        const QString canonicalData = QDir(m_folder + QStringLiteral("Data")).canonicalPath();
        const QString targets[][2] = {
            {restoredDataPath(m_folder),
             canonicalData.isEmpty() ? QString() : canonicalData + QStringLiteral("/Data.mdf")},
            {restoredLogPath(m_folder),
             canonicalData.isEmpty() ? QString() : canonicalData + QStringLiteral("/Data_Log.ldf")},
        };
        for (const auto &forms : targets) {
            const QString local = localPathOf(forms[0]);
            const QString shown = leftToRightIsolate(local);
            const std::optional<QString> owner = ownerOfFile({forms[0], forms[1]}, rows, names);
            if (owner && owner->compare(target, Qt::CaseInsensitive) != 0) {
                finishWithoutChange(kOwnedByOther.arg(shown, *owner));
                return false;
            }
            // A file nobody owns (a database detached, a copy left behind)
            // would be overwritten by the restore, or make it fail after the
            // target is gone.
            if (!owner && QFileInfo::exists(local)) {
                finishWithoutChange(kStrayFile.arg(shown));
                return false;
            }
        }

        if (targetId != 0) {
            m_journal.targetExisted = true;
            const DatabaseCondition condition = databaseCondition(m_server, names.value(targetId));
            if (!condition.online())
                m_targetState = condition.state;
        }
    } catch (const std::exception &error) {
        finishWithoutChange(kNoServer, reason(error));
        return false;
    }
    hideBusyIgnoringErrors(m_parts.busy);
    return !closing();
}

// The destructive question, in Qt's standard question box rather than the
// program's message dialog, so it looks unlike the warning before it and is
// not answered by habit; No is the answer to Enter, Escape and the close
// box. Input that arrived while the file dialog closed or the checks
// ran goes to the window first, so it cannot answer a question nobody saw.
bool RestoreRun::confirm()
{
    QCoreApplication::processEvents();
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), displayLineBreaks(kConfirmRestore),
                    QMessageBox::NoButton, &m_parts.window);
    QString about = kSetDescription.arg(m_set.database, persianDateAndTime(m_set.finished), m_journal.target);
    if (!m_targetState.isEmpty())
        about += u'\n' + kTargetNotCopied.arg(m_journal.target, m_targetState);
    box.setInformativeText(about);
    QPushButton *yes = box.addButton(kYes, QMessageBox::YesRole);
    QPushButton *no = box.addButton(kNo, QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    if (box.clickedButton() != yes)
        return false;
    m_journal.position = m_set.position;
    m_journal.started = QDateTime::currentDateTime();
    return true;
}

bool RestoreRun::takeSafetyCopy()
{
    showBusyIgnoringErrors(m_parts.busy, kRestoring);
    // A database the server cannot use cannot be copied either; what is
    // there is replaced as it stands (the question said so).
    if (!m_journal.targetExisted || !m_targetState.isEmpty())
        return !closing();

    QString unique = randomPart();
    QString path = safetyBackupPath(m_folder, m_journal.target, QDateTime::currentDateTime(), unique);
    while (QFileInfo::exists(localPathOf(path))) {
        unique = randomPart();
        path = safetyBackupPath(m_folder, m_journal.target, QDateTime::currentDateTime(), unique);
    }
    m_journal.safetyCopy = path;
    m_journal.safetySetName = safetySetName(unique);
    if (!record(RestoreStep::SafetyCopySent)) {
        finishWithoutChange(kJournalNotWritten.arg(leftToRightIsolate(m_journalPath)));
        return false;
    }
    QString failure;
    try {
        // Like the window's own backup, the copy is waited for without a
        // limit: a time-out would only leave it unknown, and refused.
        runStatement(m_server, safetyBackupSql(utf8(m_journal.target), utf8(path), utf8(m_journal.safetySetName)),
                     kNoTimeLimit);
    } catch (const DatabaseError &error) {
        failure = reason(error);
        if (!error.outcomeUnknown()) {
            const QString why = diskFull(failure)
                ? kDiskFull.arg(leftToRightIsolate(localPathOf(m_folder + QStringLiteral("Data"))))
                      .arg(megabytesFor(QStorageInfo(m_folder + QStringLiteral("Data")).bytesAvailable()))
                      .arg(megabytesFor(m_targetBytes))
                : kCannotWriteData.arg(leftToRightIsolate(localPathOf(m_folder + QStringLiteral("Data"))));
            // The target was never touched: what the failed copy left is
            // nobody's data.
            QFile::remove(localPathOf(path));
            finishWithoutChange(why, failure);
            return false;
        }
    }
    // The copy's set is found by its name, whatever else the file holds.
    try {
        for (const BackupSetSummary &set : readBackupSets(m_server, path))
            if (set.name == m_journal.safetySetName)
                m_journal.safetyPosition = set.position;
    } catch (const std::exception &error) {
        failure += (failure.isEmpty() ? QString() : QStringLiteral("\n")) + reason(error);
    }
    if (m_journal.safetyPosition == 0) {
        // Whether the server still writes it is unknown: the file stays.
        finishWithoutChange(kSafetyCopyUnknown.arg(leftToRightIsolate(localPathOf(path))), failure);
        return false;
    }
    const VerifyResult verified = verifyBackupSet(m_server, path, m_journal.safetyPosition);
    if (verified.verdict != Verification::Sound) {
        if (verified.verdict == Verification::Damaged)
            QFile::remove(localPathOf(path));
        finishWithoutChange(kSafetyCopyNotVerified.arg(leftToRightIsolate(localPathOf(path))), verified.reason);
        return false;
    }
    if (!record(RestoreStep::SafetyCopyVerified)) {
        finishWithoutChange(kJournalNotWritten.arg(leftToRightIsolate(m_journalPath)));
        return false;
    }
    // The last point where leaving changes nothing.
    if (closing()) {
        hideBusyIgnoringErrors(m_parts.busy);
        removeSafetyCopy();
        return false;
    }
    return true;
}

void RestoreRun::stopSiblingPrograms()
{
    record(RestoreStep::SiblingsStopped);
    for (const QString &program : kSiblingPrograms)
        KillProcessByName(program);
}

bool RestoreRun::dropTarget()
{
    if (!record(RestoreStep::DropSent)) {
        finishWithoutChange(kJournalNotWritten.arg(leftToRightIsolate(m_journalPath)));
        return false;
    }
    try {
        recordAndRun(m_parts.dropQuery, m_connectionString, dropDatabaseSql(utf8(m_journal.target)), kCreateRecord);
    } catch (const DatabaseError &error) {
        // Whether it still lists the target tells whether the drop happened,
        // once no drop is at work: one whose reply was lost may still run.
        const bool ended = !error.outcomeUnknown() || dropHasEnded(m_server);
        const std::optional<DatabaseCondition> after = ended
            ? askPatiently<DatabaseCondition>([&] { return databaseCondition(m_server, m_journal.target); })
            : std::nullopt;
        if (!after) {
            hideBusyIgnoringErrors(m_parts.busy);
            showRestoreFailure(
                m_parts.window,
                kDropUnknown.arg(m_journal.target, leftToRightIsolate(localPathOf(m_journal.safetyCopy))),
                reason(error));
            return false;
        }
        if (after->listed && m_journal.targetExisted) {
            // Still there, as it was; a drop refused after the switch to one
            // user would otherwise keep the sibling programs out.
            if (after->singleUser)
                openToAllUsers(m_server, m_journal.target);
            hideBusyIgnoringErrors(m_parts.busy);
            removeSafetyCopy();
            if (!closing())
                showRestoreFailure(m_parts.window, kNotDropped.arg(m_journal.target), reason(error));
            return false;
        }
    }
    record(RestoreStep::DropDone);
    return true;
}

bool RestoreRun::restoreChosenSet()
{
    std::optional<QDateTime> since = askPatiently<QDateTime>([&] { return serverNow(m_server); });
    m_journal.restoreSent = since.value_or(QDateTime());
    if (!record(RestoreStep::RestoreSent))
        std::fprintf(stderr, "the restore goes on without its journal\n");
    RequestOutcome outcome = RequestOutcome::Done;
    QString failure;
    try {
        recordAndRun(
            m_parts.restoreQuery, m_connectionString,
            restoreSetSql(utf8(m_journal.target), utf8(m_journal.backupFile), utf8(m_folder), m_journal.position),
            kRestoreRecord);
    } catch (const DatabaseError &error) {
        failure = reason(error);
        outcome = !error.outcomeUnknown() ? RequestOutcome::NotDone
            : since ? settleRestore(m_server, m_journal.target, *since, m_journal.backupFile, m_journal.position)
                    : RequestOutcome::Unknown;
    }
    switch (outcome) {
    case RequestOutcome::Done:
        record(RestoreStep::RestoreDone);
        hideBusyIgnoringErrors(m_parts.busy);
        removeSafetyCopyWhile([this] {
            if (!closing())
                showRestoreMessage(m_parts.window, kRestoreDone);
        });
        return true;
    case RequestOutcome::NotDone:
        return bringBack(failure);
    case RequestOutcome::Unknown:
        hideBusyIgnoringErrors(m_parts.busy);
        showRestoreFailure(
            m_parts.window,
            m_journal.safetyCopy.isEmpty()
                ? kRestoreUnknown.arg(m_journal.target)
                : kRestoreUnknownWithCopy.arg(m_journal.target, leftToRightIsolate(localPathOf(m_journal.safetyCopy))),
            failure);
        return false;
    }
    return false;
}

bool RestoreRun::bringBack(const QString &why)
{
    if (m_journal.safetyCopy.isEmpty()) {
        hideBusyIgnoringErrors(m_parts.busy);
        removeRestoreJournal(m_journalPath);
        if (!closing())
            showRestoreFailure(m_parts.window, QString(), why);
        return false;
    }
    record(RestoreStep::BringBackSent);
    const BringBackResult back = bringBackSafetyCopy(m_server, m_journal, m_parts.restoreQuery.commandTimeout());
    const QString failure = back.failure.isEmpty() ? why : why + u'\n' + back.failure;
    hideBusyIgnoringErrors(m_parts.busy);
    if (back.outcome == RequestOutcome::Done) {
        removeSafetyCopyWhile([&] {
            if (!closing())
                showRestoreFailure(m_parts.window, kBroughtBack.arg(m_journal.target), failure);
        });
        return false;
    }
    // The copy is all that is left of the database: it stays, and so does the
    // journal, which the next start offers again.
    const QString where = kNotBroughtBack.arg(m_journal.target, leftToRightIsolate(localPathOf(m_journal.safetyCopy)));
    std::fprintf(stderr, "%s\n", where.toUtf8().constData());
    showRestoreFailure(m_parts.window, where, failure);
    return false;
}

void RestoreRun::removeSafetyCopy()
{
    removeSafetyCopyWhile([] {});
}

void RestoreRun::removeSafetyCopyWhile(const std::function<void()> &meanwhile)
{
    // A copy of a large database takes a while to unlink: it goes on a
    // thread of its own while the user reads the outcome. The journal names
    // the copy until it is gone.
    std::jthread remover;
    if (!m_journal.safetyCopy.isEmpty())
        remover = std::jthread([path = localPathOf(m_journal.safetyCopy)] { QFile::remove(path); });
    meanwhile();
    if (remover.joinable())
        runWithoutFreezing([&remover] { remover.join(); });
    removeRestoreJournal(m_journalPath);
}

} // namespace movan
