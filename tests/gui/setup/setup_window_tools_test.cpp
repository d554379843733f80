// The tools button opens the maintenance window over the saved settings,
// and a close asked for while a call to the server runs waits for the call.
#include "settings/data_module.h"
#include "setup_window_fixture.h"
#include "silent_server.h"
#include "ui/form_registry.h"

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace movan;

namespace movan::test {
namespace {

const QString kToolsConnectFailed = QStringLiteral("خطا در اتصال به بانك اطلاعاتي !");
const QString kClassNotFound = QStringLiteral("كلاس پيدا نشد !");
const QString kOk = QStringLiteral("تاييد");

class SetupWindowTools : public SetupWindowTest {
protected:
    void SetUp() override
    {
        SetupWindowTest::SetUp();
        // Stands in for the maintenance window: notes whether the shared
        // connection was open when it was made, and closes at once.
        registerFormClass(QStringLiteral("TFrmDBTools"), [this] {
            openedWithConnection.append(DMMain && DMMain->ADOConnection1.connected());
            auto *dialog = new QDialog;
            QTimer::singleShot(0, dialog, &QDialog::accept);
            return dialog;
        });
    }
    void TearDown() override
    {
        unregisterFormClass(QStringLiteral("TFrmDBTools"));
        SetupWindowTest::TearDown();
    }
    void tools(TFrmSQLSetup &form)
    {
        QTest::mouseClick(form.BitBtn3, Qt::LeftButton);
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_EQ(DMMain, nullptr) << "the data module outlived the action";
    }

    QList<bool> openedWithConnection;
};

TEST_F(SetupWindowTools, SavedSettingsDecideWhetherTheMaintenanceWindowOpens)
{
    writeServerSettings(QStringLiteral("master"));
    auto form = showWindow();
    // What the window shows is not what the button uses.
    form->cbServer->setCurrentText(deadServerAddress());
    tools(*form);
    EXPECT_EQ(openedWithConnection, QList<bool>{true});
    EXPECT_TRUE(driver.shown().isEmpty());

    writeSettings({{QStringLiteral("Server"), deadServerAddress()}});
    driver.pressButton(kOk);
    tools(*form);
    EXPECT_EQ(openedWithConnection.size(), 1);
    EXPECT_TRUE(driver.last().text.startsWith(kToolsConnectFailed + u'\n')) << driver.last().text.toStdString();
    EXPECT_EQ(driver.last().caption, QStringLiteral("خطا"));
    EXPECT_EQ(driver.last().icon, DialogIcon::Error);

    // Until the maintenance window is registered, the lookup says so.
    unregisterFormClass(QStringLiteral("TFrmDBTools"));
    writeServerSettings(QStringLiteral("master"));
    driver.pressButton(kOk);
    tools(*form);
    EXPECT_EQ(driver.last().text, kClassNotFound);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(SetupWindowTools, CloseDuringACallWaitsForItThenCloses)
{
    SilentServer silent;
    ASSERT_TRUE(silent.isListening());
    auto form = showWindow();
    form->cbServer->setCurrentText(silent.dataSource());

    bool openWhileCalling = false;
    silent.onConnection = [&] {
        form->close();
        openWhileCalling = form->isVisible();
        QTimer::singleShot(0, &silent, &SilentServer::hangUp);
    };
    form->BitBtn1Click();
    EXPECT_TRUE(openWhileCalling) << "the window closed under the running call";
    EXPECT_TRUE(driver.shown().isEmpty()) << "the action went on after the close";
    EXPECT_EQ(DMMain, nullptr);
    EXPECT_EQ(setting(QStringLiteral("Server")), silent.dataSource()) << "saved before the call";
    for (int i = 0; i < 400 && form->isVisible(); ++i)
        QTest::qWait(25);
    EXPECT_FALSE(form->isVisible()) << "the held-back close never came";
}

// The tools button connects with the saved settings; a close while that
// connection is under way neither opens the maintenance window afterwards
// nor reports anything, releases the data module and then closes.
TEST_F(SetupWindowTools, CloseDuringTheToolsConnectionOpensNothingAndThenCloses)
{
    SilentServer silent;
    ASSERT_TRUE(silent.isListening());
    writeSettings({{QStringLiteral("Server"), silent.dataSource()},
                   {QStringLiteral("DataBaseName"), QStringLiteral("master")},
                   {QStringLiteral("Type"), QStringLiteral("SQL")},
                   {QStringLiteral("Pass"), kSaPassword}});
    auto form = showWindow();
    const QByteArray settings = settingsBytes();

    bool openWhileCalling = false;
    silent.onConnection = [&] {
        form->close();
        openWhileCalling = form->isVisible();
        QTimer::singleShot(0, &silent, &SilentServer::hangUp);
    };
    form->BitBtn3Click();
    EXPECT_TRUE(openWhileCalling) << "the window closed under the running call";
    EXPECT_TRUE(openedWithConnection.isEmpty()) << "the maintenance window opened after the close";
    EXPECT_TRUE(driver.shown().isEmpty()) << "the action went on after the close";
    EXPECT_EQ(DMMain, nullptr);
    for (int i = 0; i < 400 && form->isVisible(); ++i)
        QTest::qWait(25);
    EXPECT_FALSE(form->isVisible()) << "the held-back close never came";
    EXPECT_EQ(settingsBytes(), settings) << "the tools button wrote the settings";
}

} // namespace
} // namespace movan::test
