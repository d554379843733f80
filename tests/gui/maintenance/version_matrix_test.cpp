// Every operation of both windows against sqlemu playing each SQL Server a
// user may have: 2005 (9.0), 2008 R2 (10.50) and 2022 (16.0). The setup
// window lists the instances, tests the settings and attaches the default
// database; the maintenance window lists and filters the databases, shrinks
// the log, backs up and restores. Each case is a server setup; a further
// property of the server (its encryption, say) is one more member of it.
#include "backup_restore_fixture.h"
#include "platform/profile_file.h"
#include "setup/frm_sql_setup.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>

#include <ostream>

using namespace movan;

namespace {

const QString kYes = QStringLiteral("بلي");
const QString kOk = QStringLiteral("تاييد");
const QString kAttached = QStringLiteral("بانک اطلاعاتي با موفقيت پيوست شد ...");
const QString kConnected = QStringLiteral("تنظيمات اتصال با بانک اطلاعاتي با موفقيت انجام شد");
const QString kShrinkDone = QStringLiteral("حجم لاگ کاهش يافت");
const QString kRestoreDone = QStringLiteral("باز گرداندن اطلاعات با موفقيت انجام شد.");

struct ServerSetup {
    const char *version;
    // Whether the server only offers encryption (the program asks for it
    // all the same) or forces it on every connection.
    bool forcesEncryption;
};

void PrintTo(const ServerSetup &setup, std::ostream *out)
{
    *out << "SQL Server " << setup.version << (setup.forcesEncryption ? ", encryption forced" : ", encryption offered");
}

class VersionMatrix : public BackupRestoreTest, public ::testing::WithParamInterface<ServerSetup> {
protected:
    void SetUp() override
    {
        BackupRestoreTest::SetUp();
        if (HasFatalFailure())
            return;
        // The suite's server gives way to one playing this case's version,
        // with a named instance for the setup window to list.
        delete s_server;
        SqlemuOptions options = s_realm->serverOptions(1433);
        options.saPassword = "Secret1";
        options.serverVersion = GetParam().version;
        options.instances = {{"SALES", 0}};
        options.dataDir = m_serverData.path().toStdString();
        options.extraArguments = GetParam().forcesEncryption ? std::vector<std::string>{"--force-encryption"}
                                                             : std::vector<std::string>{"--encryption", "available"};
        s_server = new SqlemuProcess(options);
        ASSERT_TRUE(s_server->start()) << s_server->error();
    }

    void TearDown() override
    {
        // Every connection of the program was encrypted whole: it asks for
        // it whatever the server offers, and a login alone is never enough.
        const std::string said = s_server ? s_server->standardError() : std::string();
        EXPECT_NE(said.find("encrypted connection"), std::string::npos) << said;
        EXPECT_EQ(said.find("encrypted login,"), std::string::npos) << said;
        BackupRestoreTest::TearDown();
    }

    static QString scalarAsSa(const QString &sql)
    {
        return columnAsSa(sql, QStringLiteral("v")).value(0, QStringLiteral("<none>"));
    }

    static QStringList listed(TFrmDBTools &w)
    {
        QStringList names;
        for (int i = 0; i < w.DBLDBBackup->count(); ++i)
            names.append(w.DBLDBBackup->itemText(i));
        names.sort(Qt::CaseInsensitive);
        return names;
    }

private:
    QTemporaryDir m_serverData;
};

TEST_P(VersionMatrix, EveryOperationOfBothWindows)
{
    // The default database the setup window offers, in Data/ beside the
    // program, with the logical names a restore takes.
    const QString data = restoreFolder() + QStringLiteral("/Tarnel.mdf");
    const QString log = restoreFolder() + QStringLiteral("/Tarnel_log.ldf");
    QProcess make;
    make.start(QString::fromStdString(builtExecutable("sqlemu")),
               {QStringLiteral("--make-database"), QStringLiteral("Tarnel"), QStringLiteral("--data"), data,
                QStringLiteral("--log"), log, QStringLiteral("--logical-data"), QStringLiteral("Data_Data"),
                QStringLiteral("--logical-log"), QStringLiteral("Data_log")});
    ASSERT_TRUE(make.waitForFinished(30000));
    ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
    makeRestorable(QStringLiteral("Archive"));
    {
        ProfileFile file(settingsFilePath(Settings::kFileName));
        file.writeString(Settings::kSection, Settings::kServer, QStringLiteral("."));
        file.writeString(Settings::kSection, Settings::kType, QStringLiteral("SQL"));
        file.writeString(Settings::kSection, Settings::kUser, QStringLiteral("sa"));
        file.writeString(Settings::kSection, Settings::kPass, QStringLiteral("Secret1"));
        file.writeString(Settings::kSection, Settings::kDataBaseName, QStringLiteral("Tarnel"));
    }

    // Setup window: the instance list, the failed test, the attach, the
    // test that then connects.
    ModalDialogDriver driver;
    {
        auto setup = std::make_unique<TFrmSQLSetup>();
        QSignalSpy shown(setup.get(), &TFrmSQLSetup::showSequenceFinished);
        setup->show();
        setup->activateWindow();
        ASSERT_TRUE(shown.wait(30000));
        bool namedInstanceListed = false;
        for (int i = 0; i < setup->cbServer->count(); ++i)
            namedInstanceListed |= setup->cbServer->itemText(i).endsWith(QStringLiteral("\\SALES"));
        EXPECT_TRUE(namedInstanceListed);
        driver.ignoreWindow(setup.get());
        driver.pressButton(kYes).pressButton(kOk);
        QTest::mouseClick(setup->BitBtn1, Qt::LeftButton);
        EXPECT_EQ(driver.last().text, kAttached);
        driver.pressButton(kOk);
        QTest::mouseClick(setup->BitBtn1, Qt::LeftButton);
        EXPECT_EQ(driver.last().text, kConnected);
        EXPECT_FALSE(setup->isVisible());
    }
    EXPECT_EQ(scalarAsSa(QStringLiteral("SELECT state_desc AS v FROM sys.databases WHERE name = 'Tarnel'")),
              QStringLiteral("ONLINE"));

    // Maintenance window: list, filter, shrink, backup, restore.
    openSharedConnection();
    QTemporaryDir folder;
    const QString bak = folder.filePath(QStringLiteral("Tarnel.Bak"));
    const QByteArray dataBefore = contents(data);
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        EXPECT_EQ(listed(w),
                  (QStringList{QStringLiteral("Archive"), QStringLiteral("master"), QStringLiteral("model"),
                               QStringLiteral("msdb"), QStringLiteral("Tarnel"), QStringLiteral("tempdb")}));
        QTest::mouseClick(w.dbcDataList, Qt::LeftButton);
        EXPECT_EQ(listed(w), QStringList{QStringLiteral("Tarnel")});
        QTest::mouseClick(w.dbcDataList, Qt::LeftButton);
        EXPECT_EQ(listed(w).size(), 6);

        runAsSa(QStringLiteral("EXEC sqlemu_test_grow_log @database = N'Tarnel', @megabytes = 4"));
        const qint64 grown = QFileInfo(log).size();
        EXPECT_GT(grown, 4 << 20);
        w.PageControl1->setCurrentWidget(w.TabSheet1);
        QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
        EXPECT_EQ(w.lbMessage_Compress->text(), kShrinkDone);
        EXPECT_EQ(QFileInfo(log).size(), 1 << 20) << "grown to " << grown;

        w.PageControl1->setCurrentWidget(w.TabSheet2);
        backUp(w, QStringLiteral("Tarnel"), bak, driver);
        EXPECT_PRED1(backedUpAndVerified, driver.last().text);

        clickRestore(w, QStringLiteral("Tarnel"), bak, driver);
        EXPECT_EQ(driver.last().text, kRestoreDone);
    });
    EXPECT_EQ(scalarAsSa(QStringLiteral("SELECT state_desc AS v FROM sys.databases WHERE name = 'Tarnel'")),
              QStringLiteral("ONLINE"));
    EXPECT_EQ(scalarAsSa(QStringLiteral("SELECT recovery_model_desc AS v FROM sys.databases WHERE name = 'Tarnel'")),
              QStringLiteral("FULL"));
    EXPECT_EQ(contents(restoreFolder() + QStringLiteral("/Data.mdf")), dataBefore);
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, VersionMatrix,
    ::testing::Values(ServerSetup{"9.0", false}, ServerSetup{"9.0", true}, ServerSetup{"10.50", false},
                      ServerSetup{"10.50", true}, ServerSetup{"16.0", false}, ServerSetup{"16.0", true}),
    [](const ::testing::TestParamInfo<ServerSetup> &info) {
        return std::string("v")
            + std::string(info.param.version).replace(std::string(info.param.version).find('.'), 1, "_")
            + (info.param.forcesEncryption ? "_forced" : "_offered");
    });

} // namespace
