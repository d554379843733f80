// The name a process is found by, from its /proc files.
#include "platform/process_table.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
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

// A sibling program that ended but was not reaped stays in /proc beside the
// copy that runs, with no argv and a comm cut to 15 characters, which still
// holds the fragment the restore looks for. Chosen as the last match, it
// would take the kill and leave the running copy holding the database.
TEST(ProcessTable, AZombieIsNotListedBesideTheLiveCopyOfTheSameName)
{
    const char *exeName = "C:\\Movan\\TelvarexServer2024.exe";
    const pid_t live = ::fork();
    ASSERT_GE(live, 0);
    if (live == 0) {
        ::prctl(PR_SET_NAME, "TelvarexServer2024.exe");
        ::execl("/bin/sleep", exeName, "60", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    const pid_t zombie = ::fork();
    ASSERT_GE(zombie, 0);
    if (zombie == 0) {
        ::prctl(PR_SET_NAME, "TelvarexServer2024.exe");
        ::_exit(0);
    }
    // Not reaped: it stays a zombie until the end of the test.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, id_t(zombie), &info, WEXITED | WNOWAIT), 0);
    for (int i = 0; i < 200; ++i) { // until the live one has run its exec
        const QList<ProcessEntry> entries = processSnapshot();
        if (std::any_of(entries.begin(), entries.end(), [&](const ProcessEntry &e) {
                return e.pid == live && e.exeFile == QStringLiteral("TelvarexServer2024.exe");
            }))
            break;
        ::usleep(10000);
    }
    const QList<ProcessEntry> entries = processSnapshot();
    QList<pid_t> listed;
    for (const ProcessEntry &entry : entries) {
        if (entry.exeFile.contains(QStringLiteral("Telvarex")))
            listed.append(entry.pid);
    }
    EXPECT_EQ(listed, QList<pid_t>{live}) << "the zombie is " << zombie;

    EXPECT_TRUE(terminateProcess(live));
    int status = 0;
    ASSERT_EQ(::waitpid(live, &status, 0), live);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ::waitpid(zombie, nullptr, 0);
}

} // namespace
