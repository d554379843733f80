// The setup window's failure notices: the fixed text first, as it stands,
// then why in Persian with what to do, and the server's or Kerberos's own
// words in the details area, for a refused login, a server that is down,
// an attach that fails, and a Windows login without a ticket.
#include "settings/data_module.h"
#include "setup_window_fixture.h"
#include "util/line_breaks.h"
#include "widgets/edit/mov_edit_box.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace movan;

namespace movan::test {
namespace {

const QString kOffer = QStringLiteral(
    "خطا در اتصال با بانک اطلاعاتي ...\r\nدرصورت تمايل با تاييد اين پيغام، بانک اطلاعاتي پيش فرض در پوشه جاري فعال مي گردد ...");
const QString kAttachFailed
    = QStringLiteral("خطا در پيوست بانک اطلاعاتي، براي دريافت اطلاعات بيشتر به راهنما مراجعه نماييد...");
const QString kToolsConnectFailed = QStringLiteral("خطا در اتصال به بانك اطلاعاتي !");
const QString kYes = QStringLiteral("بلي");
const QString kNo = QStringLiteral("خير");
const QString kOk = QStringLiteral("تاييد");

// The fixed text's lines, then at least one line more.
::testing::AssertionResult fixedTextFirst(const ShownDialog &shown, const QString &fixed)
{
    const QString first = displayLineBreaks(fixed) + u'\n';
    if (!shown.text.startsWith(first) || shown.text.size() <= first.size() + 10)
        return ::testing::AssertionFailure() << "shown: " << shown.text.toStdString();
    return ::testing::AssertionSuccess();
}

using SetupWindowFailure = SetupWindowTest;

TEST_F(SetupWindowFailure, ConfirmAndAttachTellWhyTheServerRefused)
{
    const QString dead = deadServerAddress();
    const struct {
        const char *name;
        QString server;
        QString password;
        QStringList reasonSays; // in the Persian lines
        QString detailsSay; // in the raw text
    } cases[] = {
        {"wrong password",
         serverAddress(),
         QStringLiteral("wrong"),
         {QStringLiteral("ورود را نپذیرفت")},
         QStringLiteral("Login failed for user 'sa'")},
        {"server down",
         dead,
         kSaPassword,
         {QStringLiteral("پاسخ نمی‌دهد"), QString(dead).replace(u',', u':')},
         QStringLiteral("Unable to connect")},
    };
    makeDatabaseFiles(QStringLiteral("Tarnel"), QStringLiteral("Tarnel.mdf"), QStringLiteral("Tarnel_log.ldf"));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ModalDialogDriver driver;
        writeServerSettings();
        auto form = showWindow();
        form->cbServer->setCurrentText(c.server);
        form->EdtPassword->setText(c.password);
        // The offer taken: the attach meets the same refusal.
        driver.pressButton(kYes).pressButton(kOk);
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
        ASSERT_TRUE(driver.allAnswered());
        ASSERT_EQ(driver.shown().size(), 2);
        const ShownDialog offer = driver.shown()[0];
        const ShownDialog attach = driver.shown()[1];
        EXPECT_TRUE(fixedTextFirst(offer, kOffer));
        EXPECT_TRUE(fixedTextFirst(attach, kAttachFailed));
        for (const ShownDialog &shown : {offer, attach}) {
            for (const QString &word : c.reasonSays)
                EXPECT_TRUE(shown.text.contains(word)) << shown.text.toStdString() << " lacks " << word.toStdString();
            EXPECT_TRUE(shown.details.contains(c.detailsSay)) << shown.details.toStdString();
        }
        EXPECT_EQ(offer.buttons, QStringList({kYes, kNo}));
        EXPECT_EQ(DMMain, nullptr);
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(databaseNames().contains(QStringLiteral("Tarnel")));
        EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
    }
}

// Windows authentication saved, no Kerberos ticket: the tools button names
// the ticket, the service it was wanted for and the remedy; with no settings
// file at all it names the file.
TEST_F(SetupWindowFailure, ToolsNameTheMissingTicketOrTheMissingFile)
{
    QTemporaryDir empty;
    const QByteArray ticket = qgetenv("KRB5CCNAME");
    qputenv("KRB5CCNAME", QByteArray("FILE:") + empty.filePath(QStringLiteral("ccache")).toUtf8());
    writeSettings({{QStringLiteral("Server"), serverAddress()},
                   {QStringLiteral("DataBaseName"), QStringLiteral("master")},
                   {QStringLiteral("Type"), QStringLiteral("WIN")}});
    auto form = showWindow();
    driver.pressButton(kOk);
    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    qputenv("KRB5CCNAME", ticket);
    ASSERT_TRUE(driver.allAnswered());
    EXPECT_TRUE(fixedTextFirst(driver.last(), kToolsConnectFailed));
    for (const QString &word :
         {QStringLiteral("منقضی شده"), QStringLiteral("kinit"), QStringLiteral("دامنه"), QStringLiteral("MSSQLSvc/")})
        EXPECT_TRUE(driver.last().text.contains(word)) << driver.last().text.toStdString();
    EXPECT_TRUE(driver.last().details.startsWith(QStringLiteral("Windows authentication (Kerberos)")))
        << driver.last().details.toStdString();

    QFile::remove(settingsPath());
    driver.pressButton(kOk);
    QTest::mouseClick(form->BitBtn3, Qt::LeftButton);
    EXPECT_TRUE(fixedTextFirst(driver.last(), kToolsConnectFailed));
    EXPECT_TRUE(driver.last().text.contains(QStringLiteral("InitPrg.ini")));
    EXPECT_TRUE(driver.last().details.contains(settingsPath())) << driver.last().details.toStdString();
    EXPECT_EQ(DMMain, nullptr);
}

} // namespace
} // namespace movan::test
