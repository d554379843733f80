#include "maintenance/restore_operation.h"

#include "db/database.h"
#include "maintenance/batch_record.h"
#include "maintenance/batches.h"
#include "maintenance/busy_indicator_calls.h"
#include "maintenance/process_termination.h"
#include "platform/executable_path.h"
#include "settings/connection_templates.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "ui/message_dialog.h"
#include "util/line_breaks.h"
#include "util/text_trim.h"
#include "widgets/busy/mov_busy.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>
#include <optional>

namespace movan {

namespace {

const QString kChooseBackupCaption = QStringLiteral("توجه");
const QString kChooseBackup = QStringLiteral("فايل پشتيبان را انتخاب نماييد");
const QString kNoSettingsCaption = QStringLiteral("در حال اجراي برنامه");
const QString kNoSettings
    = QStringLiteral("امکان برقراري ارتباط با بانک وجود ندارد\r\n لطفا تنظيمات لازم را انجام دهيد");
const QString kConfirmRestore = QStringLiteral("كاربر گرامي\r\nايا از برگرداندن اطلاعات مطمئن هستيد ؟");
const QString kRestoring = QStringLiteral("در حال بازگرداندن اطلاعات ...");
const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");
const QString kRestoreFailed = QStringLiteral("اشکال در باز گرداندن اطلاعات ...");
const QString kCreateRecord = QStringLiteral("Create.txt");
const QString kRestoreRecord = QStringLiteral("Restore.txt");
const QString kSiblingPrograms[] = {QStringLiteral("Telvarex"), QStringLiteral("Cordanex")};
constexpr int kRestoreCheckTimeoutSeconds = 500;

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

void showPlainMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), displayLineBreaks(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void showFailure(const QString &reason)
{
    showPlainMessage(reason.isEmpty() ? kRestoreFailed : kRestoreFailed + QLatin1Char('\n') + reason);
}

bool userConfirms()
{
    return QMessageBox::question(QApplication::activeWindow(), QCoreApplication::applicationName(),
                                 displayLineBreaks(kConfirmRestore), QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::No;
}

void prepare(DbQuery &query, const QString &connection, const std::string &sql)
{
    query.setConnectionString(connection);
    // The text is built with its names and paths quoted; a ":" in a path is
    // no parameter.
    query.setParamCheck(false);
    query.setSqlText(fromUtf8(sql));
}

// Why the file cannot replace a database, or nothing when it can: it must
// list the two logical files the restore places and read back whole.
std::optional<QString> backupProblem(const QString &connection, const QString &backupFile)
{
    DbQuery check;
    check.setCommandTimeout(kRestoreCheckTimeoutSeconds);
    try {
        prepare(check, connection, movan::fileListSql(utf8(backupFile)));
        check.open();
        bool hasData = false;
        bool hasLog = false;
        for (check.first(); !check.eof(); check.next()) {
            const QString logical = check.fieldByName(QStringLiteral("LogicalName"));
            hasData
                |= logical.compare(fromUtf8(std::string(movan::kRestoredDataLogicalName)), Qt::CaseInsensitive) == 0;
            hasLog |= logical.compare(fromUtf8(std::string(movan::kRestoredLogLogicalName)), Qt::CaseInsensitive) == 0;
        }
        check.close();
        if (!hasData || !hasLog) {
            return QStringLiteral("The backup set holds no logical files %1 and %2.")
                .arg(fromUtf8(std::string(movan::kRestoredDataLogicalName)),
                     fromUtf8(std::string(movan::kRestoredLogLogicalName)));
        }
        prepare(check, connection, movan::verifySql(utf8(backupFile)));
        check.execSQL();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return std::nullopt;
}

// Records the batch beside the executable, then runs it; a record that
// cannot be written does not hold the batch back.
void recordAndRun(DbQuery &query, const QString &connection, const std::string &sql, const QString &recordName)
{
    prepare(query, connection, sql);
    if (const std::optional<QString> problem = writeBatchRecord(executableDirectory() + recordName, fromUtf8(sql)))
        std::fprintf(stderr, "%s\n", problem->toUtf8().constData());
    query.execSQL();
    query.unprepare();
}

} // namespace

bool RestoreDataBase(const QString &targetDb, const QString &backupFile, const RestoreWindowParts &parts)
{
    QCoreApplication::processEvents();
    if (backupFile.isEmpty() || !QFileInfo(backupFile).isFile()) {
        ShowMessageDialog(kChooseBackupCaption, kChooseBackup, mbOK, mtInformation);
        return false;
    }
    if (!QFileInfo::exists(executableDirectory() + Settings::kFileName)) {
        ShowMessageDialog(kNoSettingsCaption, kNoSettings, mbOK, mtError);
        return false;
    }
    const QString connection = buildRestoreConnectionString();
    if (!userConfirms())
        return false;

    const std::string target = utf8(trimControl(targetDb));
    const QString file = trimControl(backupFile);
    try {
        parts.busy.SetMessage1(kRestoring);
        showBusyIgnoringErrors(parts.busy);
        if (const std::optional<QString> problem = backupProblem(connection, file)) {
            parts.busy.Hide();
            showFailure(*problem);
            return false;
        }
        for (const QString &program : kSiblingPrograms)
            KillProcessByName(program);
        try {
            recordAndRun(parts.dropQuery, connection, movan::dropDatabaseSql(target), kCreateRecord);
        } catch (const std::exception &error) {
            // The target may simply not exist yet.
            std::fprintf(stderr, "drop before the restore: %s\n", error.what());
        }
        try {
            recordAndRun(parts.restoreQuery, connection,
                         movan::restoreDatabaseSql(target, utf8(file), utf8(executableDirectory())), kRestoreRecord);
        } catch (const std::exception &error) {
            parts.busy.Hide();
            showFailure(QString::fromUtf8(error.what()));
            return false;
        }
        parts.busy.Hide();
    } catch (const std::exception &) {
        hideBusyIgnoringErrors(parts.busy);
        showFailure(QString());
        return false;
    }
    showPlainMessage(kRestoreDone);
    return true;
}

} // namespace movan
