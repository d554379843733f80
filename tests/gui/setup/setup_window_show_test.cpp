// What the setup window shows when it opens: the settings file read with the
// window's own defaults, the instances the configured server reports, the
// configured server, and the warning when that server is not this computer.
#include "platform/computer_info.h"
#include "setup/batches.h"
#include "setup_window_fixture.h"
#include "util/system_info.h"
#include "widgets/edit/control_colors.h"
#include "widgets/edit/mov_edit_box.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QRadioButton>

using namespace movan;

namespace movan::test {
namespace {

class SetupWindowShow : public SetupWindowTest {
protected:
    // The list every window starts with: this computer, then its address.
    static QStringList computerEntries()
    {
        QStringList entries{GetComputerNameText()};
        if (!ComputerInfo::localIPv4Address().isEmpty())
            entries.append(ComputerInfo::localIPv4Address());
        return entries;
    }
    static QString instanceListBatch() { return QString::fromStdString(std::string(movan::kInstanceListSql)); }
};

TEST_F(SetupWindowShow, FirstRunShowsTheWindowsDefaultsAndWritesNothing)
{
    auto form = showWindow();
    EXPECT_EQ(form->EdtDataBaseName->text(), QStringLiteral("Tarnel"));
    EXPECT_EQ(serverEntries(*form), computerEntries());
    EXPECT_EQ(form->cbServer->currentText(), GetComputerNameText());
    EXPECT_TRUE(form->rgSql->isChecked());
    EXPECT_FALSE(form->rgWindows->isChecked());
    EXPECT_EQ(form->EdtLogName->text(), QStringLiteral("sa"));
    EXPECT_EQ(form->EdtPassword->text(), QString());
    EXPECT_TRUE(form->EdtLogName->isEnabled());
    EXPECT_EQ(balloonsShown(*form), 0);
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(SetupWindowShow, ConfiguredServerIsAddedShownAndWarnedAbout)
{
    struct Case {
        QString server;
        QString type;
        bool windows; // Windows authentication selected
        QString login; // what the login fields then hold
        QString password;
    };
    const QString computer = GetComputerNameText();
    const Case cases[] = {
        // Nothing answers on these: the list keeps what it had.
        {QStringLiteral("."), QStringLiteral("WIN"), true, QStringLiteral("sa"), QString()},
        {QStringLiteral("127.0.0.3"), QStringLiteral("SQL"), false, QStringLiteral("bob"), QStringLiteral("pw")},
        // Only "SQL" and "WIN" exactly mean something to the window.
        {computer + QStringLiteral("\\INSTANCE"), QStringLiteral("win"), false, QStringLiteral("sa"), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.server.toStdString() + " " + c.type.toStdString());
        writeSettings({{QStringLiteral("Server"), c.server},
                       {QStringLiteral("Type"), c.type},
                       {QStringLiteral("User"), QStringLiteral("bob")},
                       {QStringLiteral("Pass"), QStringLiteral("pw")}});
        auto form = showWindow();
        EXPECT_EQ(serverEntries(*form), computerEntries() << c.server);
        EXPECT_EQ(form->cbServer->currentText(), c.server);
        EXPECT_EQ(balloonsShown(*form), 1);
        EXPECT_EQ(form->rgWindows->isChecked(), c.windows);
        EXPECT_EQ(form->rgSql->isChecked(), !c.windows);
        for (TMovEditBox *edit : {form->EdtLogName, form->EdtPassword}) {
            EXPECT_EQ(edit->isEnabled(), !c.windows);
            EXPECT_EQ(edit->Color(), c.windows ? QApplication::palette().color(QPalette::Button) : windowColor());
        }
        EXPECT_EQ(form->EdtLogName->text(), c.login);
        EXPECT_EQ(form->EdtPassword->text(), c.password);
        EXPECT_EQ(newBatches(), QStringList());
    }
}

TEST_F(SetupWindowShow, NeitherTheDefaultInstanceNorAMissingAddressGetsAnEntry)
{
    writeServerSettings();
    auto form = showWindow([](TFrmSQLSetup &window) { window.setLocalAddressSource([] { return QString(); }); });
    EXPECT_EQ(newBatches(), QStringList{instanceListBatch()});
    EXPECT_EQ(serverEntries(*form), QStringList({GetComputerNameText(), serverAddress()}));
    EXPECT_EQ(form->capturedAddress(), QString());
    // The rest of the sequence ran: the login was read, the warning shown.
    EXPECT_EQ(form->EdtPassword->text(), kSaPassword);
    EXPECT_EQ(balloonsShown(*form), 1);
}

TEST_F(SetupWindowShow, NamedInstancesAreListedUnderTheComputersName)
{
    SqlemuOptions options;
    options.saPassword = kSaPassword.toStdString();
    options.instances = {{"SALES", 0}, {"STOCK", 0}};
    SqlemuProcess named(options);
    ASSERT_TRUE(named.start()) << named.error();
    writeSettings({{QStringLiteral("Server"), serverAddress(named)},
                   {QStringLiteral("Type"), QStringLiteral("SQL")},
                   {QStringLiteral("Pass"), kSaPassword}});
    auto form = showWindow();
    const QString computer = GetComputerNameText();
    EXPECT_EQ(serverEntries(*form),
              computerEntries() << computer + QStringLiteral("\\SALES") << computer + QStringLiteral("\\STOCK")
                                << serverAddress(named));
    EXPECT_EQ(newBatches(named), QStringList{instanceListBatch()});
}

} // namespace
} // namespace movan::test
