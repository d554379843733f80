// The backup button: the proposed name and the dialog, the notices, sets
// appended to an existing file, the gauge following the server, a busy
// indicator without its clip, paths that are long or Persian, and database
// names with quotes, brackets and Persian letters.
#include "backup/backup_file_name.h"
#include "backup_restore_fixture.h"
#include "platform/executable_path.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"
#include "widgets/gauge/gauge.h"

#include <QDirIterator>
#include <QPushButton>

using namespace movan;

namespace {

using Backup = BackupRestoreTest;

QString quoted(const QString &text)
{
    return QString(text).replace(u'\'', QStringLiteral("''"));
}

int backupSets(const QString &path)
{
    return int(BackupRestoreTest::columnAsSa(QStringLiteral("RESTORE HEADERONLY FROM DISK = N'%1'").arg(quoted(path)),
                                             QStringLiteral("BackupName"))
                   .size());
}

TEST_F(Backup, DialogProposesDateAndClockAndCancelSendsNothing)
{
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.currentDateTime = [] { return QDateTime(QDate(2012, 11, 19), QTime(14, 5, 30)); };
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(QStringLiteral("Tarnel")));
        const qsizetype before = received();
        driver.handle([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Create New Backup File"));
            EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Bak Files (*.Bak)")});
            EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("Bak"));
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
            EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
            EXPECT_TRUE(dialog->isSizeGripEnabled());
            EXPECT_EQ(QFileInfo(dialog->selectedFiles().value(0)).fileName(),
                      QStringLiteral("Tarnel_13910829_14-05.Bak"));
            dialog->reject();
        });
        QTest::mouseClick(w.BitBtn4, Qt::LeftButton);
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_EQ(received(), before);
    });
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// No database chosen, or only blanks: said in Persian before any file is
// asked for, and the server hears nothing.
TEST_F(Backup, NoDatabaseChosenIsRefusedBeforeTheSaveDialog)
{
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        for (const QString &shownName : {QString(), QStringLiteral("  ")}) {
            w.DBLDBBackup->setCurrentIndex(-1);
            w.DBLDBBackup->setEditText(shownName);
            const qsizetype before = received();
            driver.pressEnter();
            QTest::mouseClick(w.BitBtn4, Qt::LeftButton);
            EXPECT_TRUE(driver.allAnswered());
            EXPECT_EQ(driver.last().objectName, QStringLiteral("MessageDialog")) << "a file was asked for";
            EXPECT_TRUE(driver.last().text.contains(QStringLiteral("بانکی انتخاب نشده")))
                << driver.last().text.toStdString();
            EXPECT_EQ(driver.last().icon, DialogIcon::Warning);
            EXPECT_EQ(received(), before);
            EXPECT_FALSE(w.MovBusy1->form() && w.MovBusy1->form()->isVisible());
        }
    });
    EXPECT_EQ(driver.shown().size(), 2);
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// Records every position the gauge was painted at, and the share of the bar
// the picture of that paint fills, in percent: columns mostly in the fore
// colour count as filled (the percentage drawn in the middle inverts a few).
class GaugePaints : public QObject {
public:
    explicit GaugePaints(TGauge *gauge)
        : m_gauge(gauge)
    {
        gauge->installEventFilter(this);
    }
    QList<int> progress;
    QList<int> drawn;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_gauge && event->type() == QEvent::Paint) {
            progress.append(m_gauge->Progress());
            drawn.append(filledPercent(m_gauge->renderImage(), m_gauge->ForeColor()));
        }
        return false;
    }

    static int filledPercent(const QImage &picture, const QColor &fill)
    {
        const QImage image = picture.convertToFormat(QImage::Format_RGB32);
        // Inside the one-pixel border.
        const int left = 1;
        const int right = image.width() - 2;
        int filled = 0;
        for (int x = left; x <= right; ++x) {
            int fore = 0;
            for (int y = 1; y < image.height() - 1; ++y)
                fore += image.pixelColor(x, y) == fill ? 1 : 0;
            filled += fore * 2 > image.height() - 2 ? 1 : 0;
        }
        return qRound(100.0 * filled / (right - left + 1));
    }

private:
    TGauge *m_gauge;
};

TEST_F(Backup, SecondBackupAppendsASetAndTheGaugeFollowsEveryStep)
{
    QTemporaryDir folder;
    // The dialog adds the suffix.
    const QString path = folder.filePath(QStringLiteral("Tarnel_sets"));
    ModalDialogDriver driver;
    QList<int> painted;
    QList<int> drawn;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        GaugePaints paints(w.Gauge1);
        for (int run = 0; run < 2; ++run) {
            const qsizetype before = received();
            backUp(w, QStringLiteral("Tarnel"), path, driver);
            EXPECT_PRED1(backedUpAndVerified, driver.last().text) << "run " << run;
            EXPECT_EQ(driver.last().icon, DialogIcon::Information);
            // The set just written is the one read back.
            const QStringList verified = receivedSince(before).filter(QStringLiteral("RESTORE VERIFYONLY"));
            ASSERT_EQ(verified.size(), 1) << "run " << run;
            EXPECT_TRUE(verified.front().contains(QStringLiteral("WITH FILE = %1").arg(run + 1)))
                << verified.front().toStdString();
        }
        painted = paints.progress;
        drawn = paints.drawn;
        EXPECT_EQ(w.Gauge1->Progress(), 100);
        EXPECT_EQ(w.Gauge1->MaxValue(), 100);
    });
    EXPECT_EQ(backupSets(path + QStringLiteral(".Bak")), 2);
    // Every step of both runs painted, in order, while the server worked,
    // and the bar drawn as far as each step: what the user sees, not only
    // the value the gauge was given.
    QList<int> steps;
    for (int percent : painted) {
        if (percent != 0 && (steps.isEmpty() || steps.last() != percent))
            steps.append(percent);
    }
    // The second run starts from an empty bar, drawn so before its first
    // step, not from the first run's 100%.
    const qsizetype firstFull = painted.indexOf(100);
    ASSERT_GE(firstFull, 0) << testing::PrintToString(painted);
    const auto restart = std::find_if(painted.begin() + firstFull, painted.end(), [](int p) { return p != 100; });
    ASSERT_NE(restart, painted.end()) << testing::PrintToString(painted);
    EXPECT_EQ(*restart, 0) << testing::PrintToString(painted);
    EXPECT_NEAR(drawn[restart - painted.begin()], 0, 5);
    ASSERT_EQ(steps.size(), 20) << testing::PrintToString(steps);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(steps[i], 10 * (i % 10 + 1)) << i;
    ASSERT_EQ(drawn.size(), painted.size());
    for (qsizetype i = 0; i < painted.size(); ++i)
        EXPECT_NEAR(drawn[i], painted[i], 5) << "paint " << i;
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// A set the server cannot read back whole is a failure with the server's
// words; the file, which may hold older sound sets, stays as written.
TEST_F(Backup, ASetThatDoesNotReadBackIsAFailureAndTheFileStays)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Damaged.Bak"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        backUp(w, QStringLiteral("Tarnel"), path, driver);
        runAsSa(QStringLiteral("EXEC sqlemu_test_damage_backups @database = N'Tarnel'"));
        backUp(w, QStringLiteral("Tarnel"), path, driver);
        runAsSa(QStringLiteral("EXEC sqlemu_test_damage_backups @database = N'Tarnel', @damaged = 0"));
        EXPECT_TRUE(driver.last().text.startsWith(QStringLiteral("خطا در عمليات پشتيبان گيري ...")))
            << driver.last().text.toStdString();
        EXPECT_TRUE(driver.last().text.contains(path)) << driver.last().text.toStdString();
        EXPECT_EQ(driver.last().icon, DialogIcon::Error);
    });
    EXPECT_EQ(backupSets(path), 2);
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// The restore's file dialog offers backups first and opens where they are:
// Backups beside the program until this program has written or chosen one,
// then that one's folder. The gauge, full after a backup, is emptied for the
// restore, which has no progress of its own to show.
TEST_F(Backup, RestoreDialogOpensWhereBackupsAreAndTheGaugeStaysEmpty)
{
    makeRestorable(QStringLiteral("GaugeTarget"));
    writeSettings(QStringLiteral("GaugeTarget"));
    const QString backups = executableDirectory() + QStringLiteral("Backups");
    const bool backupsExisted = QFileInfo::exists(backups);
    ASSERT_TRUE(QDir().mkpath(backups));
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("GaugeTarget.Bak"));
    ModalDialogDriver driver;
    QStringList openedIn;
    QList<QStringList> filters;
    QStringList filterChosen;
    QList<int> gaugeAtDialogs;
    const auto lookAtOpenDialog = [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        openedIn.append(dialog->directory().absolutePath());
        filters.append(dialog->nameFilters());
        filterChosen.append(dialog->selectedNameFilter());
    };
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        {
            // A folder chosen once and removed since is no place to open in.
            QTemporaryDir gone;
            backUp(w, QStringLiteral("GaugeTarget"), gone.filePath(QStringLiteral("g.Bak")), driver);
        }
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(QStringLiteral("GaugeTarget")));
        driver.pressButton(kYes);
        driver.handle([&](QWidget *modal) {
            lookAtOpenDialog(modal);
            static_cast<QDialog *>(modal)->reject();
        });
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);

        backUp(w, QStringLiteral("GaugeTarget"), bak, driver);
        ASSERT_EQ(w.Gauge1->Progress(), 100);
        driver.setBeforeAnswer([&](QWidget *) { gaugeAtDialogs.append(w.Gauge1->Progress()); });
        w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(QStringLiteral("GaugeTarget")));
        driver.pressButton(kYes);
        driver.handle([&](QWidget *modal) {
            lookAtOpenDialog(modal);
            chooseFileNow(modal, bak);
        });
        driver.pressButton(kYes);
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);
        EXPECT_EQ(driver.last().text, QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد."));
        EXPECT_EQ(w.Gauge1->Progress(), 0);
    });
    if (!backupsExisted)
        QDir(backups).removeRecursively();
    EXPECT_EQ(openedIn, (QStringList{QDir(backups).absolutePath(), QDir(folder.path()).absolutePath()}));
    const QStringList expectedFilters{QStringLiteral("Bak Files (*.Bak)"), QStringLiteral("All Files (*)")};
    EXPECT_EQ(filters, (QList<QStringList>{expectedFilters, expectedFilters}));
    EXPECT_EQ(filterChosen, (QStringList{expectedFilters[0], expectedFilters[0]}));
    // Warning, file, question and outcome: all over an empty bar.
    EXPECT_EQ(gaugeAtDialogs, (QList<int>{0, 0, 0, 0}));
    runAsSa(QStringLiteral("DROP DATABASE GaugeTarget"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

TEST_F(Backup, GoesOnWithoutTheBusyClip)
{
    QTemporaryDir folder;
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.MovBusy1->AVISource()->setFileName(folder.filePath(QStringLiteral("missing.avi")));
        backUp(w, QStringLiteral("Archive"), folder.filePath(QStringLiteral("a.Bak")), driver);
        EXPECT_PRED1(backedUpAndVerified, driver.last().text);
    });
    EXPECT_EQ(backupSets(folder.filePath(QStringLiteral("a.Bak"))), 1);
}

// A path beyond 200 characters and a Persian folder name reach the server
// whole: the file is where the user chose, and nowhere else.
TEST_F(Backup, LongAndPersianPathsAreWrittenWhereChosen)
{
    QTemporaryDir folder;
    const QString persian = folder.filePath(QStringLiteral("پشتيبان موان"));
    QString deep = folder.path();
    while (deep.size() + 41 < 250)
        deep += QLatin1Char('/') + QString(40, QLatin1Char('d'));
    const QString longPath
        = deep + QLatin1Char('/') + QString(300 - deep.size() - 5, QLatin1Char('f')) + QStringLiteral(".Bak");
    ASSERT_EQ(longPath.size(), 300);
    ASSERT_TRUE(QDir().mkpath(persian) && QDir().mkpath(deep));
    const QString persianPath = persian + QStringLiteral("/تارنل.Bak");
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        for (const QString &path : {longPath, persianPath}) {
            backUp(w, QStringLiteral("Tarnel"), path, driver);
            EXPECT_PRED1(backedUpAndVerified, driver.last().text) << path.toStdString();
        }
    });
    EXPECT_EQ(backupSets(longPath), 1);
    EXPECT_EQ(backupSets(persianPath), 1);
    QStringList written;
    for (QDirIterator it(folder.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        written.append(it.next());
    written.sort();
    QStringList expected{longPath, persianPath};
    expected.sort();
    EXPECT_EQ(written, expected);
}

// Each awkward name is backed up as itself: the name the dialog proposes
// begins with it, the set in the file is of that database, and no other.
TEST_F(Backup, AwkwardNamesAreBackedUpAsThemselves)
{
    const QStringList names = {QStringLiteral("O'Brien"), QStringLiteral("Sales]2"),     QStringLiteral("[Archive"),
                               QStringLiteral("100%"),    QStringLiteral("Movan Sales"), QStringLiteral("تارنل")};
    for (int i = 0; i < names.size(); ++i)
        makeRestorable(names[i]);
    QTemporaryDir folder;
    const QDateTime now(QDate(2026, 12, 7), QTime(2, 0, 30));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.currentDateTime = [now] { return now; };
        for (const QString &name : names) {
            ASSERT_GE(w.DBLDBBackup->findText(name), 0) << name.toStdString();
            w.DBLDBBackup->setCurrentIndex(w.DBLDBBackup->findText(name));
            QString proposed;
            driver.handle([&](QWidget *modal) {
                auto *dialog = qobject_cast<QFileDialog *>(modal);
                ASSERT_NE(dialog, nullptr);
                proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
                chooseFileNow(modal, folder.filePath(proposed));
            });
            driver.pressEnter();
            QTest::mouseClick(w.BitBtn4, Qt::LeftButton);
            EXPECT_EQ(proposed, backupFileName(name, now)) << name.toStdString();
            EXPECT_PRED1(backedUpAndVerified, driver.last().text) << name.toStdString();
        }
    });
    for (const QString &name : names) {
        const QString path = folder.filePath(backupFileName(name, now));
        EXPECT_EQ(columnAsSa(QStringLiteral("RESTORE HEADERONLY FROM DISK = N'%1'").arg(quoted(path)),
                             QStringLiteral("DatabaseName")),
                  QStringList{name})
            << path.toStdString();
    }
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

} // namespace
