#include "platform/keyboard_layout.h"
#include "util/system_info.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>

using namespace movan;

namespace {

class KeyboardLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "runs under an X server";
        ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ir")}),
                  0);
        KeyboardLayout::activate("us");
        ASSERT_EQ(KeyboardLayout::activeLayout(), QByteArray("us"));
    }
};

TEST_F(KeyboardLayoutTest, LetterCodesSwitchBetweenEnglishAndPersian)
{
    SwitchKeyboardLayout(QStringLiteral("F"));
    EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("ir"));
    SwitchKeyboardLayout(QStringLiteral("E"));
    EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("us"));
    SwitchKeyboardLayout(QStringLiteral("f"));
    EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("ir"));
    SwitchKeyboardLayout(QStringLiteral("e"));
    EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("us"));
}

TEST_F(KeyboardLayoutTest, OtherCodesDoNothing)
{
    SwitchKeyboardLayout(QStringLiteral("F"));
    for (const char *code : {"EN", "", "x", "FA", " E"}) {
        SwitchKeyboardLayout(QString::fromUtf8(code));
        EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("ir")) << '"' << code << '"';
    }
}

// Offscreen or on Wayland, DISPLAY may name an X server whose keyboard is not
// the one the program's windows take their keys from.
TEST_F(KeyboardLayoutTest, OnlyTheXcbPlatformSwitchesTheXServersLayout)
{
    if (QGuiApplication::platformName() != u"xcb") {
        SwitchKeyboardLayout(QStringLiteral("F"));
        EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("us"));
        return;
    }
    // This same test again, offscreen on the same X server.
    QProcess offscreen;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    offscreen.setProcessEnvironment(env);
    offscreen.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=KeyboardLayoutTest.OnlyTheXcbPlatformSwitchesTheXServersLayout")});
    ASSERT_TRUE(offscreen.waitForFinished(60000));
    EXPECT_EQ(offscreen.exitCode(), 0) << offscreen.readAll().toStdString();
    EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("us"));
}

TEST_F(KeyboardLayoutTest, ALayoutThatIsNotConfiguredChangesNothing)
{
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us")}), 0);
    SwitchKeyboardLayout(QStringLiteral("F"));
    EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("us"));
}

} // namespace
