// Confirming the setup window: the seven keys as the file holds them, the
// test of the saved settings, and the attach of the default database that
// the window offers when the test fails, checked against what sqlemu received.
#include "platform/computer_info.h"
#include "settings/data_module.h"
#include "setup_window_fixture.h"
#include "ui/message_dialog.h"
#include "util/line_breaks.h"
#include "util/system_info.h"
#include "widgets/edit/mov_edit_box.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <sys/stat.h>

using namespace movan;

namespace movan::test {
namespace {

const QString kOffer = QStringLiteral(
    "خطا در اتصال با بانک اطلاعاتي ...\r\nدرصورت تمايل با تاييد اين پيغام، بانک اطلاعاتي پيش فرض در پوشه جاري فعال مي گردد ...");
const QString kFilesNotFound = QStringLiteral("فايل هاي مورد نياز در مسير پيش فرض پيدا نشد ...");
const QString kAttached = QStringLiteral("بانک اطلاعاتي با موفقيت پيوست شد ...");
const QString kConnected = QStringLiteral("تنظيمات اتصال با بانک اطلاعاتي با موفقيت انجام شد");
const QString kYes = QStringLiteral("بلي");
const QString kNo = QStringLiteral("خير");
const QString kOk = QStringLiteral("تاييد");
const QString kAttachFailed
    = QStringLiteral("خطا در پيوست بانک اطلاعاتي، براي دريافت اطلاعات بيشتر به راهنما مراجعه نماييد...");

class SetupWindowConfirm : public SetupWindowTest {
protected:
    void confirm(TFrmSQLSetup &form)
    {
        QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_EQ(DMMain, nullptr) << "the data module outlived the action";
    }
    // The fixed text as the first lines of what was shown, the reason after.
    static bool opensWith(const ShownDialog &shown, const QString &fixed)
    {
        return shown.text.startsWith(displayLineBreaks(fixed) + u'\n');
    }
    static QString attachBatch(const QString &quotedName, const QString &dataFile, const QString &logFile)
    {
        return QStringLiteral("USE master CREATE DATABASE %1 ON (FILENAME = N'%2'),(FILENAME = N'%3') FOR ATTACH")
            .arg(quotedName, dataFolder() + dataFile, dataFolder() + logFile);
    }
};

TEST_F(SetupWindowConfirm, SevenKeysAreSavedAndRefusalOfTheOfferLeavesTheWindowOpen)
{
    makeDatabaseFiles(QStringLiteral("Tarnel"), QStringLiteral("Tarnel.mdf"), QStringLiteral("Tarnel_log.ldf"));
    auto form = showWindow();
    const QString dead = deadServerAddress();
    form->cbServer->setCurrentText(QStringLiteral("  ") + dead + QStringLiteral("\t"));
    form->EdtDataBaseName->setText(QStringLiteral(" Tarnel "));
    form->EdtLogName->setText(QStringLiteral("bob"));
    form->EdtPassword->setText(QStringLiteral("pw"));
    QTest::mouseClick(form->rgWindows, Qt::LeftButton);
    ASSERT_TRUE(form->rgWindows->isChecked());
    EXPECT_FALSE(form->EdtLogName->isEnabled());
    EXPECT_EQ(form->EdtLogName->text(), QStringLiteral("bob")) << "the texts stay as they are";

    driver.pressButton(kNo);
    confirm(*form);
    ASSERT_EQ(driver.shown().size(), 1);
    EXPECT_EQ(driver.last().caption, QStringLiteral("خطا"));
    EXPECT_TRUE(opensWith(driver.last(), kOffer)) << driver.last().text.toStdString();
    EXPECT_EQ(driver.last().buttons, QStringList({kYes, kNo}));
    EXPECT_EQ(driver.last().icon, DialogIcon::Warning);
    // The computer's own address, asked for here, not the window's copy of it.
    ASSERT_FALSE(ComputerInfo::localIPv4Address().isEmpty());
    EXPECT_EQ(settingsBytes(),
              (QStringLiteral("[DataBase]\r\nServer=%1\r\nServerMachinName=%2\r\nServerIPAddress=%3\r\n"
                              "DataBaseName=Tarnel\r\nType=WIN\r\nUser=\r\nPass=\r\n")
                   .arg(dead, GetComputerNameText(), ComputerInfo::localIPv4Address()))
                  .toLatin1());
    EXPECT_TRUE(form->isVisible());

    // Back to SQL Server authentication: the fields come back with their texts.
    QTest::mouseClick(form->rgSql, Qt::LeftButton);
    EXPECT_TRUE(form->EdtLogName->isEnabled());
    driver.pressEscape();
    confirm(*form);
    EXPECT_EQ(setting(QStringLiteral("Type")), QStringLiteral("SQL"));
    EXPECT_EQ(setting(QStringLiteral("User")), QStringLiteral("bob"));
    EXPECT_EQ(setting(QStringLiteral("Pass")), QStringLiteral("pw"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(newBatches(), QStringList()) << "nothing was attached";
}

TEST_F(SetupWindowConfirm, MissingDataOrLogFileIsReportedAndNothingIsSent)
{
    const std::function<void()> folders[] = {
        [] {},
        [] { QDir().mkpath(dataFolder()); },
        [] {
            QDir().mkpath(dataFolder() + QStringLiteral("folder.mdf"));
            QDir().mkpath(dataFolder() + QStringLiteral("folder.ldf"));
        },
        [] {
            makeDatabaseFiles(QStringLiteral("Tarnel"), QStringLiteral("Tarnel.mdf"), QStringLiteral("Tarnel_log.ldf"));
            QFile::remove(dataFolder() + QStringLiteral("Tarnel_log.ldf"));
        },
    };
    writeServerSettings();
    auto form = showWindow();
    newBatches();
    for (size_t i = 0; i < std::size(folders); ++i) {
        SCOPED_TRACE(i);
        QDir(dataFolder()).removeRecursively();
        folders[i]();
        driver.pressButton(kYes).pressButton(kOk);
        confirm(*form);
        EXPECT_EQ(driver.last().text, kFilesNotFound);
        EXPECT_EQ(driver.last().caption, QString());
        EXPECT_EQ(driver.last().icon, DialogIcon::Error);
        EXPECT_EQ(newBatches(), QStringList());
        EXPECT_TRUE(form->isVisible());
    }
}

TEST_F(SetupWindowConfirm, FirstPairIsAttachedAndTheNextConfirmEndsTheProgram)
{
    // Upper-case extensions, a folder that looks like a data file, and later
    // files that are no database at all.
    makeDatabaseFiles(QStringLiteral("Tarnel"), QStringLiteral("Tarnel.MDF"), QStringLiteral("Tarnel_log.LDF"));
    QDir().mkpath(dataFolder() + QStringLiteral("A.mdf"));
    for (const QString &decoy : {QStringLiteral("Zeta.mdf"), QStringLiteral("Zeta.ldf")}) {
        QFile file(dataFolder() + decoy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a database");
    }
    writeServerSettings(QStringLiteral("Tarnel"));
    auto form = showWindow();
    newBatches();
    // Attached under the name the settings keep, so the next confirm finds it.
    form->EdtDataBaseName->setText(QStringLiteral(" Tarnel\t"));

    driver.pressButton(kYes).pressButton(kOk);
    confirm(*form);
    ASSERT_EQ(driver.shown().size(), 2);
    EXPECT_TRUE(opensWith(driver.shown()[0], kOffer)) << driver.shown()[0].text.toStdString();
    EXPECT_EQ(driver.shown()[1].text, kAttached);
    EXPECT_EQ(driver.last().caption, QString());
    EXPECT_EQ(driver.last().icon, DialogIcon::Information);
    EXPECT_EQ(newBatches(),
              QStringList{attachBatch(QStringLiteral("[Tarnel]"), QStringLiteral("Tarnel.MDF"),
                                      QStringLiteral("Tarnel_log.LDF"))});
    EXPECT_TRUE(databaseNames().contains(QStringLiteral("Tarnel")));
    EXPECT_TRUE(form->isVisible());

    driver.pressButton(kOk);
    confirm(*form);
    EXPECT_EQ(driver.last().text, kConnected);
    EXPECT_EQ(driver.last().icon, DialogIcon::Information);
    EXPECT_FALSE(form->isVisible()) << "a good connection ends the program";
    EXPECT_EQ(newBatches(), QStringList());
}

TEST_F(SetupWindowConfirm, DatabaseNamesCannotBreakOrExtendTheAttachStatement)
{
    // A database the injected statement would drop.
    makeDatabaseFiles(QStringLiteral("Victim"), QStringLiteral("victim/Victim.mdf"),
                      QStringLiteral("victim/Victim_log.ldf"));
    {
        DbCommand attach;
        attach.setConnectionString(
            QStringLiteral("Provider=SQLOLEDB.1;Password=%1;User ID=sa;Initial Catalog=master;Data Source=%2")
                .arg(kSaPassword, serverAddress()));
        attach.setCommandText(attachBatch(QStringLiteral("Victim"), QStringLiteral("victim/Victim.mdf"),
                                          QStringLiteral("victim/Victim_log.ldf")));
        attach.execute();
    }
    const std::pair<QString, QString> names[] = {
        {QStringLiteral("My Db"), QStringLiteral("[My Db]")},
        {QStringLiteral("Tarnel-1391"), QStringLiteral("[Tarnel-1391]")},
        {QStringLiteral("a]b"), QStringLiteral("[a]]b]")},
        {QStringLiteral("O'Neil"), QStringLiteral("[O'Neil]")},
        {QStringLiteral("x ON (FILENAME = N'/x.mdf') ; DROP DATABASE Victim --"),
         QStringLiteral("[x ON (FILENAME = N'/x.mdf') ; DROP DATABASE Victim --]")},
        {QStringLiteral("y] ; DROP DATABASE Victim --"), QStringLiteral("[y]] ; DROP DATABASE Victim --]")},
    };
    writeServerSettings();
    auto form = showWindow();
    newBatches();
    char first = 'Z';
    for (const auto &[name, quoted] : names) {
        SCOPED_TRACE(name.toStdString());
        // Each new pair sorts before the ones already attached.
        const QString stem = QString(QChar(first--));
        makeDatabaseFiles(QStringLiteral("Db"), stem + QStringLiteral(".mdf"), stem + QStringLiteral(".ldf"));
        form->EdtDataBaseName->setText(name);
        driver.pressButton(kYes).pressButton(kOk);
        confirm(*form);
        EXPECT_EQ(newBatches(),
                  QStringList{attachBatch(quoted, stem + QStringLiteral(".mdf"), stem + QStringLiteral(".ldf"))});
        EXPECT_EQ(driver.last().text, kAttached);
        EXPECT_TRUE(databaseNames().contains(name));
    }
    EXPECT_TRUE(databaseNames().contains(QStringLiteral("Victim")));
}

TEST_F(SetupWindowConfirm, UnwritableSettingsFileEndsTheActionBeforeAnyTest)
{
    writeServerSettings(QStringLiteral("master"));
    auto form = showWindow();
    form->cbServer->setCurrentText(deadServerAddress());
    form->EdtPassword->setText(QStringLiteral("changed"));
    const QByteArray before = settingsBytes();
    ASSERT_TRUE(QFile::setPermissions(settingsPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    driver.pressButton(QStringLiteral("تاييد"));
    confirm(*form);
    ASSERT_EQ(driver.shown().size(), 1) << "the settings were tested all the same";
    EXPECT_EQ(driver.last().objectName, QStringLiteral("ErrorReport"));
    // In Persian: what happened, the folder, the reason and who can mend it.
    const QStringList lines = driver.last().text.split(u'\n');
    ASSERT_EQ(lines.size(), 4) << driver.last().text.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("تنظيمات ذخيره نشد")));
    EXPECT_TRUE(lines[1].contains(QFileInfo(settingsPath()).absolutePath()));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("فايل فقط خواندني است")));
    EXPECT_TRUE(lines[3].contains(QStringLiteral("مدير سيستم")));
    EXPECT_EQ(settingsBytes(), before) << "not one of the seven keys may be written";
    EXPECT_TRUE(form->isVisible());
}

// Something other than a file under the settings file's name (here a folder
// and a pipe): the window opens at once with its defaults, says the saved
// settings could not be read, and a confirm saves nothing over it.
TEST_F(SetupWindowConfirm, ASettingsFileThatCannotBeReadIsReportedAndLeftAlone)
{
    const QByteArray name = QFile::encodeName(settingsPath());
    const std::function<bool()> makers[] = {
        [&] { return ::mkdir(name.constData(), 0755) == 0; },
        [&] { return ::mkfifo(name.constData(), 0644) == 0; },
    };
    for (const auto &make : makers) {
        ASSERT_TRUE(make());
        const qsizetype shownBefore = driver.shown().size();
        driver.pressButton(kOk);
        QElapsedTimer clock;
        clock.start();
        auto form = showWindow();
        EXPECT_LT(clock.elapsed(), 20000);
        ASSERT_EQ(driver.shown().size(), shownBefore + 1);
        EXPECT_EQ(driver.last().caption, QStringLiteral("خطا"));
        EXPECT_EQ(driver.last().icon, DialogIcon::Error);
        EXPECT_TRUE(driver.last().text.startsWith(QStringLiteral("تنظيمات ذخيره شده خوانده نشد")));
        EXPECT_EQ(form->EdtDataBaseName->text(), QStringLiteral("Tarnel"));

        driver.pressButton(kOk);
        confirm(*form);
        EXPECT_EQ(driver.last().objectName, QStringLiteral("ErrorReport"));
        EXPECT_EQ(driver.shown().size(), shownBefore + 2) << "the settings were tested all the same";
        struct stat st {};
        ASSERT_EQ(::lstat(name.constData(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode)) << "replaced by a file";
        form.reset();
        ::rmdir(name.constData());
        ::unlink(name.constData());
    }
}

// The server refuses the attach (the files belong to a database it already
// has): the attach error, not the missing-files
// notice, and the database the user had is still there, online, its files
// as they were.
TEST_F(SetupWindowConfirm, AnAttachTheServerRefusesIsReportedAndHarmsNothing)
{
    makeDatabaseFiles(QStringLiteral("Kept"), QStringLiteral("Kept.mdf"), QStringLiteral("Kept_log.ldf"));
    {
        DbCommand attach;
        attach.setConnectionString(
            QStringLiteral("Provider=SQLOLEDB.1;Password=%1;User ID=sa;Initial Catalog=master;Data Source=%2")
                .arg(kSaPassword, serverAddress()));
        attach.setCommandText(
            attachBatch(QStringLiteral("Kept"), QStringLiteral("Kept.mdf"), QStringLiteral("Kept_log.ldf")));
        attach.execute();
    }
    const auto hashes = [] {
        QStringList sums;
        for (const QString &file : QDir(dataFolder()).entryList(QDir::Files, QDir::Name)) {
            QFile f(dataFolder() + file);
            f.open(QIODevice::ReadOnly);
            sums.append(
                file + u' '
                + QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex()));
        }
        return sums;
    };
    const QStringList before = hashes();
    // The configured database does not exist, so the window offers the
    // attach, under that name, of the files Kept is using.
    writeServerSettings(QStringLiteral("Other"));
    auto form = showWindow();
    newBatches();
    driver.pressButton(kYes).pressButton(kOk);
    confirm(*form);
    EXPECT_TRUE(opensWith(driver.last(), kAttachFailed)) << driver.last().text.toStdString();
    // The server's words, one click away.
    EXPECT_FALSE(driver.last().details.isEmpty());
    EXPECT_EQ(driver.last().caption, QStringLiteral("خطا"));
    EXPECT_EQ(driver.last().icon, DialogIcon::Error);
    ASSERT_EQ(newBatches().size(), 1) << "the attach was not sent";
    EXPECT_EQ(hashes(), before);
    EXPECT_TRUE(databaseNames().contains(QStringLiteral("Kept")));
    EXPECT_FALSE(databaseNames().contains(QStringLiteral("Other")));
    DbConnection online;
    online.setConnectionString(
        QStringLiteral("Provider=SQLOLEDB.1;Password=%1;User ID=sa;Initial Catalog=Kept;Data Source=%2")
            .arg(kSaPassword, serverAddress()));
    EXPECT_NO_THROW(online.open()) << "Kept is no longer online";
    EXPECT_TRUE(form->isVisible());
}

} // namespace
} // namespace movan::test
