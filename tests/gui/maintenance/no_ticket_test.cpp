// Without a Kerberos ticket, as on most Linux desktops, the window reaches
// this computer's default instance with the login saved in InitPrg.ini: it
// lists, backs up and restores, and says so in the status bar. With a ticket
// nothing changes.
#include "backup_restore_fixture.h"
#include "platform/profile_file.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"
#include "widgets/elided/elided_label.h"

#include <QStatusBar>

using namespace movan;

namespace {

const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");
const QString kYes = QStringLiteral("بلي");

class NoTicket : public BackupRestoreTest {
protected:
    void SetUp() override
    {
        BackupRestoreTest::SetUp();
        m_ticket = qgetenv("KRB5CCNAME");
        // A cache that holds nothing: as after a login nobody ran kinit for.
        qputenv("KRB5CCNAME", QByteArray("FILE:") + m_empty.filePath(QStringLiteral("ccache")).toUtf8());
    }
    void TearDown() override
    {
        qputenv("KRB5CCNAME", m_ticket);
        BackupRestoreTest::TearDown();
    }

    static void writeSavedLogin(const QString &type, const QString &database)
    {
        ProfileFile file(settingsFilePath(Settings::kFileName));
        file.writeString(Settings::kSection, Settings::kServer, QStringLiteral("."));
        file.writeString(Settings::kSection, Settings::kType, type);
        file.writeString(Settings::kSection, Settings::kUser, QStringLiteral("sa"));
        file.writeString(Settings::kSection, Settings::kPass, QStringLiteral("Secret1"));
        file.writeString(Settings::kSection, Settings::kDataBaseName, database);
    }

    static QString stateOf(const QString &database)
    {
        return columnAsSa(QStringLiteral("SELECT state_desc FROM sys.databases WHERE name = N'%1'").arg(database),
                          QStringLiteral("state_desc"))
            .value(0);
    }

private:
    QByteArray m_ticket;
    QTemporaryDir m_empty;
};

TEST_F(NoTicket, TheSavedLoginListsBacksUpAndRestores)
{
    makeRestorable(QStringLiteral("Ticketless"));
    writeSavedLogin(QStringLiteral("SQL"), QStringLiteral("Ticketless"));
    const QByteArray settings = contents(settingsFilePath(Settings::kFileName));
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("Ticketless.Bak"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        EXPECT_GE(w.DBLDBBackup->findText(QStringLiteral("Ticketless")), 0);
        EXPECT_GE(w.DBLDBBackup->findText(QStringLiteral("master")), 0);
        const QString notice = w.StatusNotice->fullText();
        EXPECT_TRUE(notice.contains(QStringLiteral("Kerberos")) && notice.contains(QStringLiteral("InitPrg.ini")))
            << notice.toStdString();
        // Longer than the bar: cut with an ellipsis where it is drawn, whole
        // for the tooltip and for assistive technology, the login kept.
        const QString shown = w.StatusNotice->text();
        EXPECT_GT(w.StatusNotice->fontMetrics().horizontalAdvance(notice), w.StatusNotice->width());
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_LE(w.StatusNotice->fontMetrics().horizontalAdvance(shown), w.StatusNotice->contentsRect().width());
        EXPECT_TRUE(shown.endsWith(QStringLiteral("(sa)"))) << shown.toStdString();
        EXPECT_EQ(w.StatusNotice->toolTip(), notice);
        EXPECT_EQ(w.StatusNotice->accessibleDescription(), notice);

        backUp(w, QStringLiteral("Ticketless"), bak, driver);
        EXPECT_PRED1(backedUpAndVerified, driver.last().text);

        clickRestore(w, QStringLiteral("Ticketless"), bak, driver);
        EXPECT_EQ(driver.last().text, kRestoreDone);
    });
    EXPECT_EQ(stateOf(QStringLiteral("Ticketless")), QStringLiteral("ONLINE"));
    EXPECT_EQ(contents(settingsFilePath(Settings::kFileName)), settings);
    runAsSa(QStringLiteral("DROP DATABASE Ticketless"));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// With Windows authentication saved there is no other login to try: the
// list fails with the Kerberos reason, as before, and nothing is touched.
TEST_F(NoTicket, WindowsAuthenticationSavedHasNothingToFallBackTo)
{
    writeSavedLogin(QStringLiteral("WIN"), QStringLiteral("Tarnel"));
    const QByteArray settings = contents(settingsFilePath(Settings::kFileName));
    ModalDialogDriver driver;
    driver.pressEnter();
    withWindow([&](TFrmDBTools &w) {
        EXPECT_EQ(w.DBLDBBackup->count(), 0);
        EXPECT_TRUE(w.StatusNotice->fullText().isEmpty());
        EXPECT_TRUE(w.StatusNotice->text().isEmpty());
    });
    EXPECT_TRUE(driver.last().text.contains(QStringLiteral("Kerberos"))) << driver.last().text.toStdString();
    EXPECT_EQ(stateOf(QStringLiteral("Tarnel")), QStringLiteral("ONLINE"));
    EXPECT_EQ(contents(settingsFilePath(Settings::kFileName)), settings);
}

using WithTicket = BackupRestoreTest;

TEST_F(WithTicket, WindowsAuthenticationAsBeforeAndNoNotice)
{
    writeSettings(QStringLiteral("Tarnel"));
    withWindow([&](TFrmDBTools &w) {
        EXPECT_GE(w.DBLDBBackup->findText(QStringLiteral("Movan_Sales")), 0);
        EXPECT_TRUE(w.StatusNotice->text().isEmpty()) << w.StatusNotice->text().toStdString();
        EXPECT_TRUE(w.StatusNotice->toolTip().isEmpty());
    });
}

} // namespace
