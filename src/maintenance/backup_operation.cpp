#include "maintenance/backup_operation.h"

#include "backup/backup_file_name.h"
#include "backup/backup_folder.h"
#include "backup/backup_outcome.h"
#include "backup/backup_sets.h"
#include "db/database.h"
#include "maintenance/busy_indicator_calls.h"
#include "settings/maintenance_connection.h"
#include "ui/failure_notice.h"
#include "ui/message_dialog.h"
#include "util/isolated_text.h"
#include "util/text_trim.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/close_guard/close_after_call.h"
#include "widgets/gauge/gauge.h"

#include <QCoreApplication>
#include <QFileDialog>

#include <cstdio>

namespace movan {

namespace {

const QString kBackupDone = QStringLiteral("عمليات پشتيبان گيري با موفقيت انجام شد.");
const QString kBackupFailed = QStringLiteral("خطا در عمليات پشتيبان گيري ...");
const QString kBackingUp = QStringLiteral("در حال تهيه نسخه پشتيبان ...");
const QString kNoDatabaseChosen = QStringLiteral(
    "هنوز بانکی انتخاب نشده است. بانکی را که نسخه پشتیبان آن را می‌خواهید از فهرست بانک‌ها برگزینید و دوباره "
    "دکمه تهیه نسخه پشتیبان را بزنید.");
// The reply was lost and the server could not say what it did: the user
// must look at the file before trusting it or deleting it.
const QString kBackupOutcomeUnknown
    = QStringLiteral("معلوم نيست نسخه پشتيبان نوشته شد يا نه: پاسخ سرور نرسيد و از سرور هم نمي شد پرسيد.\n"
                     "پيش از اعتماد به پرونده يا پاک کردن آن، آن را بررسي کنيد:\n%1");
const QString kVerifying = QStringLiteral("در حال بررسی نسخه پشتیبان ...");
const QString kVerified = QStringLiteral("سرور نسخه پشتیبان تازه (مجموعه %1 این فایل) را تا پایان خواند و سالم یافت.");
const QString kDamaged = QStringLiteral(
    "نسخه پشتیبان نوشته شد، ولی سرور آن را سالم نخواند؛ به آن اعتماد نکنید و دوباره پشتیبان بگیرید. فایل %1 "
    "نگه داشته شد، چون نسخه‌های پیشین آن ممکن است سالم باشند.");
const QString kNotVerified = QStringLiteral(
    "نسخه پشتیبان نوشته شد، ولی سرور نتوانست آن را بررسی کند؛ سالم بودن آن معلوم نیست. فایل %1 نگه داشته شد؛ "
    "پس از برقراری ارتباط با سرور دوباره پشتیبان بگیرید.");
const QString kFilter = QStringLiteral("Bak Files (*.Bak)");
const QString kDefaultSuffix = QStringLiteral("Bak");
const QString kDialogTitle = QStringLiteral("Create New Backup File");
const QString kDataBaseParameter = QStringLiteral("Ar_DataBase");
const QString kPathParameter = QStringLiteral("Ar_Path");

void prepareSaveDialog(QFileDialog &dialog, const QString &proposedName)
{
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The server writes the file, so the folder need not exist here, and
    // choosing an existing backup adds a set to it without a question.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
    dialog.setSizeGripEnabled(true);
    dialog.setNameFilters({kFilter});
    dialog.setDefaultSuffix(kDefaultSuffix);
    dialog.setWindowTitle(kDialogTitle);
    dialog.selectFile(proposedName);
}

// The gauge follows the query for the time of one backup: the hook refers to
// the gauge, and nothing else the query runs is a backup's progress.
class ProgressOnGauge {
public:
    ProgressOnGauge(DbQuery &query, TGauge &gauge)
        : m_query(query)
    {
        m_query.OnFetchProgress
            = [&gauge](int progress, int maxProgress) { followBackupProgress(gauge, progress, maxProgress); };
    }
    ~ProgressOnGauge() { m_query.OnFetchProgress = nullptr; }
    ProgressOnGauge(const ProgressOnGauge &) = delete;
    ProgressOnGauge &operator=(const ProgressOnGauge &) = delete;

private:
    DbQuery &m_query;
};

// Reads the set just written back on the server, with the busy window
// saying so, and tells the outcome: done and sound, or the failure and why.
// The file stays whatever the verdict: it may hold older sound sets.
void verifyAndTell(const QString &database, const QString &path, const QDateTime &sentAt,
                   const BackupWindowParts &parts)
{
    showBusyIgnoringErrors(parts.busy, kVerifying);
    const QString connectionString = maintenanceConnection().connectionString;
    const BackupResolution written = resolveBackupOutcome(connectionString, database, path, sentAt);
    VerifyResult verified{Verification::NotVerified, written.reason};
    if (written.outcome == BackupOutcome::Done) {
        try {
            DbConnection server;
            server.setConnectionString(connectionString);
            verified = verifyBackupSet(server, path, written.position);
        } catch (const std::exception &error) {
            verified = {Verification::NotVerified, QString::fromUtf8(error.what())};
        }
    }
    hideBusyIgnoringErrors(parts.busy);
    if (parts.closeGuard.closeRequested())
        return;
    switch (verified.verdict) {
    case Verification::Sound:
        ShowMessageDialog(QString(), kBackupDone + u'\n' + kVerified.arg(written.position), mbOK, mtInformation);
        return;
    case Verification::Damaged:
        ShowMessageDialogWithDetails(QString(), kBackupFailed + u'\n' + kDamaged.arg(leftToRightIsolate(path)),
                                     verified.reason, mbOK, mtError);
        return;
    case Verification::NotVerified:
        ShowMessageDialogWithDetails(QString(), kBackupFailed + u'\n' + kNotVerified.arg(leftToRightIsolate(path)),
                                     verified.reason, mbOK, mtWarning);
        return;
    }
}

} // namespace

void backupDatabase(const QString &database, const QDateTime &now, const BackupWindowParts &parts)
{
    // Nothing to back up: the server would only refuse, after the user had
    // chosen a file for nothing.
    if (trimControl(database).isEmpty()) {
        ShowMessageDialog(QString(), kNoDatabaseChosen, mbOK, mtWarning);
        return;
    }
    prepareSaveDialog(parts.saveDialog, proposedBackupFileName(database, now));
    if (parts.saveDialog.exec() != QDialog::Accepted || parts.saveDialog.selectedFiles().isEmpty())
        return;
    const QString path = parts.saveDialog.selectedFiles().constFirst();
    rememberBackupFile(path);
    // The bar of an earlier backup would read as this one's progress.
    parts.gauge.setProgress(0);
    const QDateTime sentAt = QDateTime::currentDateTime();
    try {
        const ProgressOnGauge progress(parts.query, parts.gauge);
        showBusyIgnoringErrors(parts.busy, kBackingUp);
        QCoreApplication::processEvents();
        parts.query.setParameterText(kDataBaseParameter, database);
        parts.query.setParameterText(kPathParameter, path);
        parts.query.execSQL();
        parts.query.releaseConnection();
        parts.busy.Hide();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "backup of %s to %s failed: %s\n", database.toUtf8().constData(),
                     path.toUtf8().constData(), error.what());
        const auto *lost = dynamic_cast<const DatabaseError *>(&error);
        BackupOutcome outcome = BackupOutcome::NotDone;
        if (lost && lost->outcomeUnknown()) {
            // A connection that lost a reply is not used again.
            parts.query.releaseConnection();
            // The busy indicator stays while the server is asked.
            const BackupResolution resolution
                = resolveBackupOutcome(maintenanceConnection().connectionString, database, path, sentAt);
            outcome = resolution.outcome;
            std::fprintf(stderr, "asked again, the server says the backup is %s%s%s\n",
                         outcome == BackupOutcome::Done          ? "done"
                             : outcome == BackupOutcome::NotDone ? "not done"
                                                                 : "unknown",
                         resolution.reason.isEmpty() ? "" : ": ", resolution.reason.toUtf8().constData());
        }
        hideBusyIgnoringErrors(parts.busy);
        if (parts.closeGuard.closeRequested())
            return;
        if (outcome == BackupOutcome::NotDone)
            ShowFailureNotice(QString(), kBackupFailed, error);
        else if (outcome == BackupOutcome::Unknown)
            ShowMessageDialog(QString(), kBackupOutcomeUnknown.arg(path), mbOK, mtWarning);
        else
            verifyAndTell(database, path, sentAt, parts);
        return;
    }
    if (!parts.closeGuard.closeRequested())
        verifyAndTell(database, path, sentAt, parts);
}

void followBackupProgress(TGauge &gauge, int progress, int maxProgress)
{
    gauge.setMaxValue(maxProgress);
    gauge.setProgress(progress);
    QCoreApplication::processEvents();
}

} // namespace movan
