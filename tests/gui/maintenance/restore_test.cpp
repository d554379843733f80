// The restore button: each way out before anything changes, a backup made by
// the window restored with its contents, a target in use, names that need
// quoting, files that cannot replace a database, a refused restore, a record
// that cannot be written, and the sibling programs.
#include "backup_restore_fixture.h"
#include "platform/profile_file.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace movan;

namespace {

const QString kChooseBackup = QStringLiteral("فايل پشتيبان را انتخاب نماييد");
const QString kNoSettings
    = QStringLiteral("امکان برقراري ارتباط با بانک وجود ندارد\r\n لطفا تنظيمات لازم را انجام دهيد");
const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");
const QString kRestoreFailed = QStringLiteral("اشکال در باز گرداندن اطلاعات ...");

using Restore = BackupRestoreTest;

// Whether every statement is one of the questions the restore asks before it
// changes anything.
bool onlyQuestions(const QStringList &sent)
{
    for (const QString &statement : sent) {
        if (!statement.startsWith(QStringLiteral("RESTORE HEADERONLY"))
            && !statement.startsWith(QStringLiteral("RESTORE FILELISTONLY"))
            && !statement.startsWith(QStringLiteral("RESTORE VERIFYONLY"))
            && !statement.startsWith(QStringLiteral("SELECT ")))
            return false;
    }
    return true;
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
    makeRestorable(QStringLiteral("Answered"));
    const QStringList answeredBefore = databaseFileHashes(QStringLiteral("Answered"));
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

        EXPECT_EQ(received(), before);

        // The last question answered No, then with Enter: its default is No.
        writeSettings(QStringLiteral("Answered"));
        const QString bak = folder.filePath(QStringLiteral("Answered.Bak"));
        backUp(w, QStringLiteral("Answered"), bak, driver);
        const qsizetype questionsFrom = received();
        for (int answer = 0; answer < 2; ++answer) {
            driver.pressButton(kYes);
            chooseFile(driver, bak);
            if (answer == 0)
                driver.pressButton(kNo);
            else
                driver.pressEnter();
            QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
            EXPECT_EQ(driver.last().icon, DialogIcon::Question);
            EXPECT_EQ(driver.last().text, QStringLiteral("كاربر گرامي\nايا از برگرداندن اطلاعات مطمئن هستيد ؟"));
            EXPECT_EQ(driver.last().buttons.size(), 2);
            EXPECT_TRUE(driver.last().buttons.contains(kYes) && driver.last().buttons.contains(kNo));
        }
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_TRUE(onlyQuestions(receivedSince(questionsFrom)))
            << receivedSince(questionsFrom).join(u'\n').toStdString();
    });
    EXPECT_TRUE(listedAndOnline(QStringLiteral("Answered")));
    EXPECT_EQ(databaseFileHashes(QStringLiteral("Answered")), answeredBefore);
    runAsSa(QStringLiteral("DROP DATABASE Answered"));
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    EXPECT_FALSE(QFileInfo::exists(executableDirectory() + QStringLiteral("Create.txt")));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A second Enter pressed right after the one that closed the file dialog
// goes to whatever has the keyboard a moment later. It must never confirm
// the restore's question: whether it lands on the window or on the question,
// nothing is stopped or dropped, and an unanswered question waits for the
// user, who says No.
TEST_F(Restore, SecondEnterAfterTheFileDialogNeverConfirms)
{
    QTemporaryDir folder;
    makeRestorable(QStringLiteral("Stray"));
    const QString bak = folder.filePath(QStringLiteral("Stray.Bak"));
    writeSettings(QStringLiteral("Stray"));
    const QStringList strayBefore = databaseFileHashes(QStringLiteral("Stray"));
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver;
    // The user's own answer: No to a question still open a while after the
    // stray key.
    QElapsedTimer sinceStray;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->text() != QStringLiteral("كاربر گرامي\nايا از برگرداندن اطلاعات مطمئن هستيد ؟"))
            return;
        if (sinceStray.isValid() && sinceStray.elapsed() > 300)
            for (QAbstractButton *button : box->buttons())
                if (button->text() == kNo)
                    button->click();
    });
    user.start(20);
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Stray"), bak, driver);
        const qsizetype before = received();
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(QStringLiteral("Stray")));
        driver.pressButton(kYes);
        driver.handle([&](QWidget *modal) {
            chooseFileNow(modal, bak);
            QTimer::singleShot(30, [&] {
                sinceStray.start();
                if (QWidget *focus = QApplication::focusWidget())
                    QTest::keyClick(focus, Qt::Key_Return);
            });
        });
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_TRUE(onlyQuestions(receivedSince(before))) << receivedSince(before).join(u'\n').toStdString();
    });
    EXPECT_TRUE(sinceStray.isValid());
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    EXPECT_TRUE(listedAndOnline(QStringLiteral("Stray")));
    EXPECT_EQ(databaseFileHashes(QStringLiteral("Stray")), strayBefore);
    runAsSa(QStringLiteral("DROP DATABASE Stray"));
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
        // The restore itself ran on QrRestore, with its 500 seconds.
        EXPECT_TRUE(w.QrRestore->sqlText().contains(QStringLiteral("RESTORE DATABASE [RoundTrip]")));
        EXPECT_EQ(w.QrRestore->commandTimeout(), 500);
    });
    // The copy of the replaced database went once the restore stood.
    EXPECT_EQ(QDir(restoreFolder()).entryList({QStringLiteral("*.Bak")}, QDir::Files), QStringList());
    EXPECT_TRUE(ended(telvarex));
    EXPECT_TRUE(ended(cordanex));
    const QString restoredData = restoreFolder() + QStringLiteral("/Data.mdf");
    EXPECT_EQ(dataFileOf(QStringLiteral("RoundTrip")), restoredData);
    EXPECT_EQ(contents(restoredData), dataBefore);
    EXPECT_EQ(contents(restoreFolder() + QStringLiteral("/Data_Log.ldf")), logBefore);
    const QByteArray record = contents(executableDirectory() + QStringLiteral("Restore.txt"));
    EXPECT_TRUE(record.startsWith(" USE master  RESTORE DATABASE [RoundTrip] FROM DISK = N'")) << record.toStdString();
    EXPECT_TRUE(record.endsWith("Data_Log.ldf'  ,    FILE = 1\r\n")) << record.toStdString();
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
    const QStringList targets = {QStringLiteral("My Data-Base"), QStringLiteral("x]; DROP DATABASE Archive --'"),
                                 QStringLiteral("O'Brien"),      QStringLiteral("[left"),
                                 QStringLiteral("50% off"),      QStringLiteral("بانک حسابداری")};
    makeRestorable(QStringLiteral("Source"));
    for (const QString &name : targets)
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
            // Each statement that changes the server goes once, with the names
            // and the path quoted; everything else only asks.
            const auto count = [&sent](const QString &start) {
                return std::count_if(sent.begin(), sent.end(), [&](const QString &s) { return s.startsWith(start); });
            };
            EXPECT_EQ(count(QStringLiteral("BACKUP DATABASE [")), 1) << sent.join(u'\n').toStdString();
            EXPECT_EQ(count(QStringLiteral("USE MASTER IF EXISTS")), 1);
            EXPECT_EQ(count(QStringLiteral(" USE master  RESTORE DATABASE [")), 1);
            EXPECT_EQ(count(QStringLiteral("RESTORE FILELISTONLY FROM DISK = N'")), 1);
            EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const QString &s) {
                return s.startsWith(QStringLiteral(" USE master  RESTORE DATABASE ["))
                    && s.contains(QStringLiteral("It''s here.Bak'"));
            }));
            QStringList rest = sent;
            rest.removeIf([](const QString &s) {
                return s.startsWith(QStringLiteral("BACKUP DATABASE ["))
                    || s.startsWith(QStringLiteral("USE MASTER IF EXISTS"))
                    || s.startsWith(QStringLiteral(" USE master  RESTORE DATABASE ["));
            });
            EXPECT_TRUE(onlyQuestions(rest)) << rest.join(u'\n').toStdString();
            const QStringList names
                = columnAsSa(QStringLiteral("SELECT name FROM master.dbo.sysdatabases"), QStringLiteral("name"));
            EXPECT_TRUE(names.contains(target));
            EXPECT_TRUE(names.contains(QStringLiteral("Archive")));
            // The safety copy, named after the database, was taken and removed.
            EXPECT_TRUE(QDir(restoreFolder()).entryList({QStringLiteral("*.Bak")}, QDir::Files).isEmpty());
            runAsSa(QStringLiteral("DROP DATABASE [%1]").arg(QString(target).replace(u']', QStringLiteral("]]"))));
        }
    });
    runAsSa(QStringLiteral("DROP DATABASE Source"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A file that is not a backup, a backup whose logical files are other ones,
// and one holding Data_Data but not Data_log: the failure and why, the
// database untouched, the siblings still running, nothing asked but
// questions.
TEST_F(Restore, FileThatCannotReplaceTheDatabaseLeavesEverythingAsItWas)
{
    QTemporaryDir folder;
    const QString notBackup = folder.filePath(QStringLiteral("notes.Bak"));
    QFile text(notBackup);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(64 * 1024, 'x'));
    text.close();
    const QString otherNames = folder.filePath(QStringLiteral("Archive.Bak"));
    const QString halfNames = folder.filePath(QStringLiteral("Half.Bak"));
    makeDatabase(QStringLiteral("Half"), s_data->filePath(QStringLiteral("half.mdf")),
                 s_data->filePath(QStringLiteral("half_log.ldf")), QStringLiteral("Data_Data"),
                 QStringLiteral("Half_log"));
    writeSettings(QStringLiteral("Tarnel"));
    const QStringList tarnelBefore = databaseFileHashes(QStringLiteral("Tarnel"));
    ASSERT_EQ(tarnelBefore.size(), 2);
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Archive"), otherNames, driver);
        backUp(w, QStringLiteral("Half"), halfNames, driver);
        for (const QString &file : {notBackup, otherNames, halfNames}) {
            const qsizetype before = received();
            clickRefusedRestore(w, QStringLiteral("Tarnel"), file, driver);
            const QStringList lines = driver.last().text.split(u'\n');
            ASSERT_EQ(lines.size(), 3) << driver.last().text.toStdString();
            EXPECT_EQ(lines[0], kRestoreFailed);
            EXPECT_FALSE(lines[1].trimmed().isEmpty());
            EXPECT_TRUE(onlyQuestions(receivedSince(before))) << receivedSince(before).join(u'\n').toStdString();
        }
        EXPECT_TRUE(driver.shown().last().text.contains(QStringLiteral("Data_log")));
    });
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    EXPECT_TRUE(listedAndOnline(QStringLiteral("Tarnel")));
    EXPECT_EQ(databaseFileHashes(QStringLiteral("Tarnel")), tarnelBefore);
    runAsSa(QStringLiteral("DROP DATABASE Half"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A restore the server cannot do after the file passed (here: no folder to
// place the files in), and one with no connection at all ("win" is not a
// type): failure, with the reason, never the success message, and the
// database the user had still there, online, its files as they were, the
// siblings running.
TEST_F(Restore, RefusedRestoreIsReportedAsFailure)
{
    makeRestorable(QStringLiteral("Refused"));
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("Refused.Bak"));
    writeSettings(QStringLiteral("Archive"));
    const QStringList refusedBefore = databaseFileHashes(QStringLiteral("Refused"));
    const QStringList archiveBefore = databaseFileHashes(QStringLiteral("Archive"));
    ASSERT_EQ(refusedBefore.size(), 2);
    QProcess &telvarex = startSibling(QStringLiteral("Telvarex.exe"));
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
        clickRefusedRestore(w, QStringLiteral("Archive"), bak, driver);
        EXPECT_TRUE(driver.last().text.startsWith(kRestoreFailed + QLatin1Char('\n')))
            << driver.last().text.toStdString();
    });
    EXPECT_TRUE(successShown.isEmpty());
    EXPECT_EQ(telvarex.state(), QProcess::Running);
    for (const QString &name : {QStringLiteral("Refused"), QStringLiteral("Archive")})
        EXPECT_TRUE(listedAndOnline(name)) << name.toStdString();
    EXPECT_EQ(databaseFileHashes(QStringLiteral("Refused")), refusedBefore);
    EXPECT_EQ(databaseFileHashes(QStringLiteral("Archive")), archiveBefore);
    runAsSa(QStringLiteral("DROP DATABASE Refused"));
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
