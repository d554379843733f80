// The restore button: each way out before anything changes, a backup made by
// the window restored with its contents, a target in use, names that need
// quoting, files that cannot replace a database, a refused restore, a record
// that cannot be written, and the sibling programs.
#include "backup_restore_fixture.h"
#include "platform/profile_file.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace movan;

namespace {

const QString kYes = QStringLiteral("بلي");
const QString kNo = QStringLiteral("خير");
const QString kChooseBackup = QStringLiteral("فايل پشتيبان را انتخاب نماييد");
const QString kNoSettings
    = QStringLiteral("امکان برقراري ارتباط با بانک وجود ندارد\r\n لطفا تنظيمات لازم را انجام دهيد");
const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");
const QString kRestoreFailed = QStringLiteral("اشکال در باز گرداندن اطلاعات ...");

using Restore = BackupRestoreTest;

// Clicks the restore button with the target chosen (or typed) and answers
// the warning, the file dialog and the question; further answers are queued
// by the caller.
void clickRestore(TFrmDBTools &w, const QString &target, const QString &file, ModalDialogDriver &driver)
{
    w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(target));
    ASSERT_EQ(w.DBLDBBackup->Text(), target);
    driver.pressButton(kYes);
    BackupRestoreTest::chooseFile(driver, file);
    driver.pressButton(QStringLiteral("&Yes"));
    driver.pressEnter();
    QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
}

void writeSqlSettings()
{
    ProfileFile file(settingsFilePath(Settings::kFileName));
    file.writeString(Settings::kSection, Settings::kServer, QStringLiteral("."));
    file.writeString(Settings::kSection, Settings::kType, QStringLiteral("SQL"));
    file.writeString(Settings::kSection, Settings::kPass, QStringLiteral("Secret1"));
}

TEST_F(Restore, EveryWayOutBeforeTheQuestionChangesNothing)
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("any.Bak"));
    QFile(file).open(QIODevice::WriteOnly);
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(QStringLiteral("Archive")));
        const qsizetype before = received();

        driver.pressButton(kNo);
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
        EXPECT_TRUE(driver.last().text.startsWith(QStringLiteral("لطفا قبل از هر گونه عمليات")));
        EXPECT_EQ(driver.last().buttons, (QStringList{kYes, kNo}));
        EXPECT_EQ(driver.shown().size(), 1);

        // No file chosen, and a file that is not there.
        for (const QString &chosen : {QString(), folder.filePath(QStringLiteral("gone.Bak"))}) {
            driver.pressButton(kYes);
            if (chosen.isEmpty())
                driver.handle([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
            else
                chooseFile(driver, chosen);
            driver.pressEnter();
            QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
            EXPECT_EQ(driver.last().text, kChooseBackup);
            EXPECT_EQ(driver.last().caption, QStringLiteral("توجه"));
            EXPECT_EQ(driver.last().icon, DialogIcon::Information);
        }

        // No settings file.
        driver.pressButton(kYes);
        chooseFile(driver, file);
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
        EXPECT_EQ(driver.last().text, QString(kNoSettings).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        EXPECT_EQ(driver.last().icon, DialogIcon::Error);

        // The last question answered No.
        writeSettings(QStringLiteral("Archive"));
        driver.pressButton(kYes);
        chooseFile(driver, file);
        driver.pressButton(QStringLiteral("&No"));
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
        EXPECT_EQ(driver.last().icon, DialogIcon::Question);
        EXPECT_EQ(driver.last().text, QStringLiteral("كاربر گرامي\nايا از برگرداندن اطلاعات مطمئن هستيد ؟"));
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_EQ(received(), before);
    });
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    EXPECT_FALSE(QFileInfo::exists(executableDirectory() + QStringLiteral("Create.txt")));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A backup made by the button, the database changed, then restored by the
// button with SQL Server authentication: the files hold what they held at
// the backup, the siblings are gone, and the records hold both batches.
TEST_F(Restore, BackupMadeByTheWindowComesBackWithItsContents)
{
    makeRestorable(QStringLiteral("RoundTrip"));
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("RoundTrip.Bak"));
    const QString dataFile = dataFileOf(QStringLiteral("RoundTrip"));
    const QString logFile = QString(dataFile).replace(QStringLiteral(".mdf"), QStringLiteral("_log.ldf"));
    const QByteArray dataBefore = contents(dataFile);
    const QByteArray logBefore = contents(logFile);
    ASSERT_FALSE(dataBefore.isEmpty());
    writeSqlSettings();
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    QProcess &cordanex = startSibling(QStringLiteral("Cordanex.exe"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("RoundTrip"), bak, driver);
        runAsSa(QStringLiteral("EXEC sqlemu_test_grow_log @database = N'RoundTrip', @megabytes = 2"));
        ASSERT_NE(contents(logFile), logBefore);
        clickRestore(w, QStringLiteral("RoundTrip"), bak, driver);
        EXPECT_EQ(driver.last().text, kRestoreDone);
        EXPECT_EQ(driver.last().caption, QCoreApplication::applicationName());
    });
    EXPECT_TRUE(ended(telvarex));
    EXPECT_TRUE(ended(cordanex));
    const QString restoredData = restoreFolder() + QStringLiteral("/Data.mdf");
    EXPECT_EQ(dataFileOf(QStringLiteral("RoundTrip")), restoredData);
    EXPECT_EQ(contents(restoredData), dataBefore);
    EXPECT_EQ(contents(restoreFolder() + QStringLiteral("/Data_Log.ldf")), logBefore);
    const QByteArray record = contents(executableDirectory() + QStringLiteral("Restore.txt"));
    EXPECT_TRUE(record.startsWith(" USE master  RESTORE DATABASE [RoundTrip] FROM DISK = N'")) << record.toStdString();
    EXPECT_TRUE(record.endsWith("Data_Log.ldf'\r\n"));
    EXPECT_TRUE(
        contents(executableDirectory() + QStringLiteral("Create.txt")).endsWith("DROP DATABASE [RoundTrip]\r\n"));
    runAsSa(QStringLiteral("DROP DATABASE RoundTrip"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// Names a bare statement cannot hold, one of them an injection: the server
// receives the check, the drop and the restore and nothing else, and the
// database the injection names survives.
TEST_F(Restore, NamesThatNeedQuotingStayOneName)
{
    const QString targets[] = {QStringLiteral("My Data-Base"), QStringLiteral("x]; DROP DATABASE Archive --'")};
    for (const QString &name : {QStringLiteral("Source"), targets[0], targets[1]})
        makeRestorable(name);
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("It's here.Bak"));
    writeSettings(QStringLiteral("Archive"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Source"), bak, driver);
        for (const QString &target : targets) {
            const qsizetype before = received();
            clickRestore(w, target, bak, driver);
            EXPECT_EQ(driver.last().text, kRestoreDone) << target.toStdString();
            const QStringList sent = receivedSince(before);
            ASSERT_EQ(sent.size(), 4) << sent.join(u'\n').toStdString();
            EXPECT_TRUE(sent[0].startsWith(QStringLiteral("RESTORE FILELISTONLY FROM DISK = N'")));
            EXPECT_TRUE(sent[0].contains(QStringLiteral("It''s here.Bak'")));
            EXPECT_TRUE(sent[1].startsWith(QStringLiteral("RESTORE VERIFYONLY")));
            EXPECT_TRUE(sent[2].startsWith(QStringLiteral("USE MASTER IF EXISTS")));
            EXPECT_TRUE(sent[3].startsWith(QStringLiteral(" USE master  RESTORE DATABASE [")));
            const QStringList names
                = columnAsSa(QStringLiteral("SELECT name FROM master.dbo.sysdatabases"), QStringLiteral("name"));
            EXPECT_TRUE(names.contains(target));
            EXPECT_TRUE(names.contains(QStringLiteral("Archive")));
            runAsSa(QStringLiteral("DROP DATABASE [%1]").arg(QString(target).replace(u']', QStringLiteral("]]"))));
        }
    });
    runAsSa(QStringLiteral("DROP DATABASE Source"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A file that is not a backup, and a backup whose logical files are other
// ones: the failure and the server's reason, the database untouched, the
// siblings still running, nothing dropped.
TEST_F(Restore, FileThatCannotReplaceTheDatabaseLeavesEverythingAsItWas)
{
    QTemporaryDir folder;
    const QString notBackup = folder.filePath(QStringLiteral("notes.Bak"));
    QFile text(notBackup);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(64 * 1024, 'x'));
    text.close();
    const QString otherNames = folder.filePath(QStringLiteral("Archive.Bak"));
    writeSettings(QStringLiteral("Tarnel"));
    const QString dataFile = dataFileOf(QStringLiteral("Tarnel"));
    const QByteArray dataBefore = contents(dataFile);
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Archive"), otherNames, driver);
        for (const QString &file : {notBackup, otherNames}) {
            const qsizetype before = received();
            clickRestore(w, QStringLiteral("Tarnel"), file, driver);
            const QStringList lines = driver.last().text.split(u'\n');
            ASSERT_EQ(lines.size(), 2) << driver.last().text.toStdString();
            EXPECT_EQ(lines[0], kRestoreFailed);
            EXPECT_FALSE(lines[1].trimmed().isEmpty());
            for (const QString &sent : receivedSince(before))
                EXPECT_TRUE(sent.startsWith(QStringLiteral("RESTORE FILELISTONLY"))
                            || sent.startsWith(QStringLiteral("RESTORE VERIFYONLY")))
                    << sent.toStdString();
        }
    });
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    EXPECT_EQ(dataFileOf(QStringLiteral("Tarnel")), dataFile);
    EXPECT_EQ(contents(dataFile), dataBefore);
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A restore the server refuses after the file passed (here: no folder to
// place the files in), and one with no connection at all ("win" is not a
// type): failure, with the reason, never the success message.
TEST_F(Restore, RefusedRestoreIsReportedAsFailure)
{
    makeRestorable(QStringLiteral("Refused"));
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("Refused.Bak"));
    writeSettings(QStringLiteral("Archive"));
    ModalDialogDriver driver;
    // The driver answers only the dialogs queued for it: a success message
    // after the failure would stay open unseen, so it is caught here.
    QStringList successShown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->text() == kRestoreDone) {
            successShown.append(box->text());
            box->close();
        }
    });
    watch.start(20);
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Refused"), bak, driver);
        QDir(restoreFolder()).removeRecursively();
        clickRestore(w, QStringLiteral("Refused"), bak, driver);
        EXPECT_TRUE(driver.last().text.startsWith(kRestoreFailed + QLatin1Char('\n')))
            << driver.last().text.toStdString();
        EXPECT_GT(driver.last().text.size(), kRestoreFailed.size() + 1);

        ProfileFile(settingsFilePath(Settings::kFileName))
            .writeString(Settings::kSection, Settings::kType, QStringLiteral("win"));
        clickRestore(w, QStringLiteral("Archive"), bak, driver);
        EXPECT_TRUE(driver.last().text.startsWith(kRestoreFailed + QLatin1Char('\n')))
            << driver.last().text.toStdString();
    });
    EXPECT_TRUE(successShown.isEmpty());
    EXPECT_TRUE(columnAsSa(QStringLiteral("SELECT name FROM master.dbo.sysdatabases"), QStringLiteral("name"))
                    .contains(QStringLiteral("Archive")));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// The target in use by another session, and Create.txt that cannot be
// written: the session is ended, the restore goes on and succeeds.
TEST_F(Restore, TargetInUseAndUnwritableRecordDoNotStopIt)
{
    makeRestorable(QStringLiteral("Busy"));
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("Busy.Bak"));
    writeSettings(QStringLiteral("Busy"));
    const QString createRecord = executableDirectory() + QStringLiteral("Create.txt");
    QFile::remove(createRecord);
    ASSERT_TRUE(QDir().mkdir(createRecord));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Busy"), bak, driver);
        DbConnection user;
        user.setConnectionString(BuildConnectionString(QStringLiteral("."), QStringLiteral("WIN"), QString(), QString(),
                                                       QStringLiteral("Busy")));
        ASSERT_NO_THROW(user.open());
        clickRestore(w, QStringLiteral("Busy"), bak, driver);
        EXPECT_EQ(driver.last().text, kRestoreDone);
    });
    QDir().rmdir(createRecord);
    EXPECT_TRUE(contents(executableDirectory() + QStringLiteral("Restore.txt")).contains("[Busy]"));
    EXPECT_EQ(dataFileOf(QStringLiteral("Busy")), restoreFolder() + QStringLiteral("/Data.mdf"));
    runAsSa(QStringLiteral("DROP DATABASE Busy"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

} // namespace
