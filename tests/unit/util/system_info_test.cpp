#include "platform/computer_info.h"
#include "util/system_info.h"

#include "support/qt_printers.h"

#include <QHostAddress>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace movan;

namespace {

TEST(GetComputerNameText, IsTheHostNameAsTheSystemReportsIt)
{
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    EXPECT_EQ(GetComputerNameText(), QString::fromLocal8Bit(name));
}

TEST(LocalIPv4Address, IsTheFirstIPv4AddressOfTheOwnName)
{
    QProcess getent;
    getent.start(QStringLiteral("getent"), {QStringLiteral("ahostsv4"), GetComputerNameText()});
    ASSERT_TRUE(getent.waitForFinished());
    const QString first
        = QString::fromLocal8Bit(getent.readAllStandardOutput()).section(u'\n', 0, 0).section(u' ', 0, 0);
    EXPECT_EQ(ComputerInfo::localIPv4Address(), first);
    if (!first.isEmpty()) {
        EXPECT_EQ(QHostAddress(ComputerInfo::localIPv4Address()).protocol(), QAbstractSocket::IPv4Protocol);
    }
}

TEST(SwitchKeyboardLayout, WithoutAnXDisplayDoesNothingAndDoesNotFail)
{
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    SwitchKeyboardLayout(QStringLiteral("F"));
    SwitchKeyboardLayout(QStringLiteral("E"));
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
}

} // namespace
