#include "maintenance/restore_operation.h"

#include "backup/backup_sets.h"
#include "db/blocking_call.h"
#include "db/database.h"
#include "maintenance/batch_record.h"
#include "maintenance/batches.h"
#include "maintenance/busy_indicator_calls.h"
#include "maintenance/process_termination.h"
#include "maintenance/restore_plan.h"
#include "platform/executable_path.h"
#include "settings/connection_templates.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "ui/message_dialog.h"
#include "util/line_breaks.h"
#include "util/persian_date.h"
#include "util/text_trim.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/close_guard/close_after_call.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <variant>

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
const QString kYes = QStringLiteral("بلي");
const QString kNo = QStringLiteral("خير");
const QString kCreateRecord = QStringLiteral("Create.txt");
const QString kRestoreRecord = QStringLiteral("Restore.txt");
const QString kSiblingPrograms[] = {QStringLiteral("Telvarex"), QStringLiteral("Cordanex")};

// The program's own sentences around the fixed texts.
const QString kChooseDatabase = QStringLiteral("لطفا بانک اطلاعاتی مورد نظر را از فهرست انتخاب نمایید.");
const QString kChecking = QStringLiteral("در حال بررسی نسخه پشتیبان ...");
const QString kSetDescription = QStringLiteral(
    "آخرین نسخه این فایل، پشتیبان بانک «%1» در تاریخ %2، جایگزین بانک «%3» می‌شود.");
const QString kNothingChanged = QStringLiteral("هیچ تغییری در بانک‌ها داده نشد.");
const QString kNoServer = QStringLiteral("ارتباط با سرور برقرار نشد یا سرور پرسش را نپذیرفت.");
const QString kNoDatabaseSet = QStringLiteral("این فایل نسخه پشتیبانی از یک بانک کامل ندارد.");
const QString kWrongLogicalFiles = QStringLiteral(
    "این نسخه پشتیبان فایل‌های %1 و %2 را که بازگرداندن به آن‌ها نیاز دارد، ندارد.");
const QString kDamagedSet = QStringLiteral(
    "این نسخه پشتیبان سالم نیست و به طور کامل خوانده نمی‌شود.");
const QString kOwnedByOther = QStringLiteral(
    "فایل %1 از آنِ بانک «%2» است؛ بازگرداندن روی آن، آن بانک را از بین می‌برد. بانک «%2» را جابه‌جا کنید یا بانک دیگری را برگزینید.");
const QString kCannotWriteData = QStringLiteral(
    "سرور نتوانست در پوشه %1 فایل بسازد (پیش از حذف بانک فعلی، یک نسخه ایمنی از آن همان‌جا گرفته می‌شود). مدیر سیستم باید به حساب سرویس SQL Server اجازه نوشتن در این پوشه را بدهد.");
const QString kBroughtBack = QStringLiteral(
    "بانک «%1» همان‌گونه که پیش از بازگرداندن بود، سر جای خود برگردانده شد.");
const QString kStillThere = QStringLiteral("بانک «%1» حذف نشده و بدون تغییر سر جای خود است.");
const QString kNotBroughtBack = QStringLiteral(
    "بانک «%1» برگردانده نشد. نسخه ایمنی آن در فایل %2 نگه داشته شده است؛ پس از برقراری ارتباط با سرور آن را بازگردانید.");

// How long a failed restore waits for a server that went away (killed,
// restarting) to bring the user's database back.
constexpr auto kBringBackPatience = std::chrono::seconds(30);
constexpr auto kBringBackPause = std::chrono::milliseconds(500);

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

// The restore's outcome is told in Qt's plain message box (the program's
// title, one OK button), not in the program's own message dialog the rest of
// the window uses: users know these two outcomes by that look.
// The window owns its boxes: the active window may be the busy window,
// which deletes itself (and what it owns) once hidden.
void showPlainMessage(QWidget &window, const QString &text, const QString &details = QString())
{
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), displayLineBreaks(text), QMessageBox::Ok,
                    &window);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

// Why a restore did not happen (or did not finish), in the user's words,
// with the server's own text for whoever looks closer.
struct Refusal {
    QString why;
    QString details;
};

void showFailure(QWidget &window, const Refusal &refusal)
{
    showPlainMessage(window, refusal.why.isEmpty() ? kRestoreFailed : kRestoreFailed + QLatin1Char('\n') + refusal.why,
                     refusal.details);
}

void prepare(DbQuery &query, const QString &connection, const std::string &sql)
{
    query.setConnectionString(connection);
    // The text is built with its names and paths quoted; a ":" in a path is
    // no parameter.
    query.setParamCheck(false);
    query.setSqlText(fromUtf8(sql));
}

// The rows of a query, each as its fields by name.
QList<QMap<QString, QString>> rowsOf(DbQuery &query, const QString &connection, std::string_view sql,
                                     const QStringList &fields)
{
    prepare(query, connection, std::string(sql));
    query.open();
    QList<QMap<QString, QString>> rows;
    for (query.first(); !query.eof(); query.next()) {
        QMap<QString, QString> row;
        for (const QString &field : fields)
            row.insert(field, query.fieldByName(field));
        rows.append(row);
    }
    query.close();
    return rows;
}

struct Plan {
    BackupSetHeader set;
    bool targetExists = false;
};

// Everything the restore needs to hold before anything is stopped or dropped.
std::variant<Plan, Refusal> checkRestore(const QString &connection, const QString &target, const QString &backupFile,
                                         const QString &folder, int timeoutSeconds)
{
    DbQuery server;
    server.setCommandTimeout(timeoutSeconds);
    const std::string file = utf8(backupFile);
    try {
        QList<BackupSetHeader> sets;
        for (const auto &row : rowsOf(server, connection, headerOnlySql(file),
                                      {QStringLiteral("Position"), QStringLiteral("BackupType"),
                                       QStringLiteral("DatabaseName"), QStringLiteral("BackupFinishDate")})) {
            sets.append({row[QStringLiteral("Position")].toInt(), row[QStringLiteral("BackupType")].toInt(),
                         row[QStringLiteral("DatabaseName")], row[QStringLiteral("BackupFinishDate")]});
        }
        const std::optional<BackupSetHeader> newest = newestDatabaseSet(sets);
        if (!newest)
            return Refusal{kNoDatabaseSet, {}};

        bool hasData = false;
        bool hasLog = false;
        const QString dataName = fromUtf8(std::string(kRestoredDataLogicalName));
        const QString logName = fromUtf8(std::string(kRestoredLogLogicalName));
        for (const auto &row :
             rowsOf(server, connection, setFileListSql(file, newest->position), {QStringLiteral("LogicalName")})) {
            const QString logical = row[QStringLiteral("LogicalName")];
            hasData |= logical.compare(dataName, Qt::CaseInsensitive) == 0;
            hasLog |= logical.compare(logName, Qt::CaseInsensitive) == 0;
        }
        if (!hasData || !hasLog)
            return Refusal{kWrongLogicalFiles.arg(dataName, logName), {}};

        try {
            prepare(server, connection, verifySetSql(file, newest->position));
            server.execSQL();
        } catch (const DatabaseError &error) {
            return Refusal{kDamagedSet, QString::fromUtf8(error.what())};
        }

        QMap<int, QString> names;
        bool targetExists = false;
        for (const auto &row : rowsOf(server, connection, kDatabasesSql,
                                      {QStringLiteral("dbid"), QStringLiteral("name"), QStringLiteral("status")})) {
            names.insert(row[QStringLiteral("dbid")].toInt(), row[QStringLiteral("name")]);
            targetExists |= row[QStringLiteral("name")].compare(target, Qt::CaseInsensitive) == 0;
        }
        QList<DatabaseFileRow> files;
        for (const auto &row :
             rowsOf(server, connection, kDatabaseFilesSql, {QStringLiteral("dbid"), QStringLiteral("filename")}))
            files.append({row[QStringLiteral("dbid")].toInt(), row[QStringLiteral("filename")]});

        // The folder may be reached through a link; the server records the
        // path it resolved.
        const QString canonicalData = QDir(folder + QStringLiteral("Data")).canonicalPath();
        const QString targets[][2] = {
            {restoredDataPath(folder),
             canonicalData.isEmpty() ? QString() : canonicalData + QStringLiteral("/Data.mdf")},
            {restoredLogPath(folder),
             canonicalData.isEmpty() ? QString() : canonicalData + QStringLiteral("/Data_Log.ldf")},
        };
        for (const auto &forms : targets) {
            const std::optional<QString> owner = ownerOfFile({forms[0], forms[1]}, files, names);
            if (owner && owner->compare(target, Qt::CaseInsensitive) != 0)
                return Refusal{kOwnedByOther.arg(QString(forms[0]).replace(u'\\', u'/'), *owner), {}};
        }
        return Plan{*newest, targetExists};
    } catch (const std::exception &error) {
        return Refusal{kNoServer, QString::fromUtf8(error.what())};
    }
}

QString setDate(const BackupSetHeader &set)
{
    const QDateTime when = serverDateTime(set.finishDate);
    if (!when.isValid())
        return set.finishDate;
    return PersianDateStr(toDateTimeValue(when)) + u' ' + when.toString(QStringLiteral("HH:mm"));
}

// The destructive question, in Qt's standard question box rather than the
// program's message dialog, so it looks unlike the warning before it and is
// not answered by habit; No is the answer to Enter, Escape and the close
// box. Input that arrived while the file dialog closed or the checks
// ran goes to the window first, so it cannot answer a question nobody saw.
bool userConfirms(QWidget &window, const Plan &plan, const QString &target)
{
    QCoreApplication::processEvents();
    QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), displayLineBreaks(kConfirmRestore),
                    QMessageBox::NoButton, &window);
    box.setInformativeText(kSetDescription.arg(plan.set.databaseName, setDate(plan.set), target));
    QPushButton *yes = box.addButton(kYes, QMessageBox::YesRole);
    QPushButton *no = box.addButton(kNo, QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
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

void pauseWithoutFreezing()
{
    runWithoutFreezing([] { std::this_thread::sleep_for(kBringBackPause); });
}

// What became of the target after a failed restore.
struct Outcome {
    QString said;
    bool copyNeeded = false; // the safety copy is all that is left of it
};

// After a failed restore: the target as the user had it, from the safety
// copy when it is gone or left half restored. Waits a while for a server
// that went away.
Outcome bringBack(const QString &connection, const QString &target, const QString &safetyFile, int timeoutSeconds)
{
    const QDeadlineTimer patience(kBringBackPatience);
    while (true) {
        try {
            DbQuery server;
            server.setCommandTimeout(timeoutSeconds);
            for (const auto &row :
                 rowsOf(server, connection, kDatabasesSql, {QStringLiteral("name"), QStringLiteral("status")})) {
                // The drop did not happen: the database is as it was.
                if (row[QStringLiteral("name")].compare(target, Qt::CaseInsensitive) == 0
                    && databaseUsable(row[QStringLiteral("status")].toInt()))
                    return {kStillThere.arg(target)};
            }
            if (safetyFile.isEmpty())
                return {};
            prepare(server, connection, bringBackSql(utf8(target), utf8(safetyFile)));
            server.execSQL();
            server.unprepare();
            return {kBroughtBack.arg(target)};
        } catch (const std::exception &error) {
            std::fprintf(stderr, "bringing %s back: %s\n", utf8(target).c_str(), error.what());
            if (patience.hasExpired())
                return safetyFile.isEmpty() ? Outcome{} : Outcome{kNotBroughtBack.arg(target, safetyFile), true};
            pauseWithoutFreezing();
        }
    }
}

// The copy of the safety file the server wrote, as this computer names it.
QString localPath(const QString &serverPath)
{
    return QDir::fromNativeSeparators(QString(serverPath).replace(u'\\', u'/'));
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
    const QString target = trimControl(targetDb);
    if (target.isEmpty()) {
        ShowMessageDialog(kChooseBackupCaption, kChooseDatabase, mbOK, mtInformation);
        return false;
    }
    const QString connection = buildRestoreConnectionString();
    const QString file = trimControl(backupFile);
    const QString folder = executableDirectory();
    const int timeout = parts.restoreQuery.commandTimeout();

    std::variant<Plan, Refusal> checked;
    try {
        parts.busy.setMessage1(kChecking);
        showBusyIgnoringErrors(parts.busy);
        checked = checkRestore(connection, target, file, folder, timeout);
        parts.busy.Hide();
    } catch (const std::exception &) {
        hideBusyIgnoringErrors(parts.busy);
        showFailure(parts.window, {kNothingChanged, {}});
        return false;
    }
    if (parts.closeGuard.closeRequested())
        return false;
    if (const auto *refusal = std::get_if<Refusal>(&checked)) {
        showFailure(parts.window, {refusal->why + QLatin1Char('\n') + kNothingChanged, refusal->details});
        return false;
    }
    const Plan plan = std::get<Plan>(checked);
    if (!userConfirms(parts.window, plan, target))
        return false;

    QString safetyFile;
    try {
        parts.busy.setMessage1(kRestoring);
        showBusyIgnoringErrors(parts.busy);
        // The copy is also the proof that the server can create files in
        // Data/, taken while nothing is stopped yet.
        if (plan.targetExists) {
            const QString path = safetyBackupPath(folder, target, QDateTime::currentDateTime());
            try {
                DbQuery copy;
                copy.setCommandTimeout(timeout);
                prepare(copy, connection, safetyBackupSql(utf8(target), utf8(path)));
                copy.execSQL();
                copy.unprepare();
            } catch (const std::exception &error) {
                parts.busy.Hide();
                if (parts.closeGuard.closeRequested())
                    return false;
                showFailure(
                    parts.window,
                    {kCannotWriteData.arg(folder + QStringLiteral("Data")) + QLatin1Char('\n') + kNothingChanged,
                     QString::fromUtf8(error.what())});
                return false;
            }
            safetyFile = path;
        }
        // The last point where leaving changes nothing.
        if (parts.closeGuard.closeRequested()) {
            parts.busy.Hide();
            if (!safetyFile.isEmpty())
                QFile::remove(localPath(safetyFile));
            return false;
        }
        for (const QString &program : kSiblingPrograms)
            KillProcessByName(program);
        try {
            recordAndRun(parts.dropQuery, connection, dropDatabaseSql(utf8(target)), kCreateRecord);
        } catch (const std::exception &error) {
            // The target may simply not exist; the restore says whether it
            // can go on.
            std::fprintf(stderr, "drop before the restore: %s\n", error.what());
        }
        try {
            recordAndRun(parts.restoreQuery, connection,
                         restoreSetSql(utf8(target), utf8(file), utf8(folder), plan.set.position), kRestoreRecord);
        } catch (const std::exception &error) {
            const Outcome outcome = bringBack(connection, target, safetyFile, timeout);
            if (!outcome.copyNeeded && !safetyFile.isEmpty())
                QFile::remove(localPath(safetyFile));
            parts.busy.Hide();
            if (outcome.copyNeeded)
                std::fprintf(stderr, "%s\n", outcome.said.toUtf8().constData());
            // Where the user's database now is must reach them, closing or not.
            if (!parts.closeGuard.closeRequested() || outcome.copyNeeded)
                showFailure(parts.window, {outcome.said, QString::fromUtf8(error.what())});
            return false;
        }
        parts.busy.Hide();
    } catch (const std::exception &) {
        hideBusyIgnoringErrors(parts.busy);
        if (!parts.closeGuard.closeRequested())
            showFailure(parts.window, {QString(), {}});
        return false;
    }
    // The restored database stands; the copy of the one it replaced is not
    // needed any more.
    if (!safetyFile.isEmpty())
        QFile::remove(localPath(safetyFile));
    if (!parts.closeGuard.closeRequested())
        showPlainMessage(parts.window, kRestoreDone);
    return true;
}

} // namespace movan
