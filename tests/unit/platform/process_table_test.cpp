// The name a process is found by, from its /proc files.
#include "platform/process_table.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace movan;

namespace {

TEST(ProcessTable, ExecutableNameIsTheLastComponentOfArgv0ElseComm)
{
    const struct {
        QByteArray cmdline;
        QByteArray comm;
        QString expected;
    } cases[] = {
        {QByteArray("/usr/bin/Telvarex\0--flag\0", 25), "Telvarex\n", "Telvarex"},
        {QByteArray("C:\\Movan\\Telvarex.exe\0", 22), "Telvarex.exe\n", "Telvarex.exe"},
        {QByteArray("C:/Movan\\sub/Cordanex.exe\0", 26), "wine64-preload\n", "Cordanex.exe"},
        {QByteArray("relative\0", 9), "x\n", "relative"},
        {QByteArray(), "kworker/0:1\n", "kworker/0:1"}, // no argv at all
        {QByteArray("/opt/dir/\0", 10), "dir-daemon\n", "dir-daemon"}, // argv[0] ending in a separator
    };
    for (const auto &c : cases)
        EXPECT_EQ(executableFileName(c.cmdline, c.comm), c.expected) << c.cmdline.constData();
}

TEST(ProcessTable, SnapshotIsInAscendingOrderAndHoldsThisProcess)
{
    const QList<ProcessEntry> entries = processSnapshot();
    ASSERT_FALSE(entries.isEmpty());
    for (qsizetype i = 1; i < entries.size(); ++i)
        EXPECT_LT(entries[i - 1].pid, entries[i].pid);
    const auto self
        = std::find_if(entries.begin(), entries.end(), [](const ProcessEntry &e) { return e.pid == ::getpid(); });
    ASSERT_NE(self, entries.end());
    EXPECT_EQ(self->exeFile, QStringLiteral("unit_process_table_test"));
}

} // namespace
