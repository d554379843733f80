// Stopping programs by a fragment of their executable's name, on real
// processes: copies of a small program started under the sibling programs'
// names, some with the C:\ path a sibling program run under Wine has as argv[0].
#include "maintenance/process_termination.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace movan;

extern char **environ;

namespace {

class RunningCopies : public ::testing::Test {
protected:
    // A token in every name keeps these processes apart from any other
    // program of the computer that has a sibling's name.
    void SetUp() override
    {
        m_token = QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper();
        ASSERT_TRUE(m_dir.isValid());
    }

    void TearDown() override
    {
        for (pid_t pid : m_children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // "Telvarex" with the token: what the tests look for.
    QString name(const QString &base) const { return base + m_token; }

    // Starts a copy of sleep as the file `fileName`, with argv[0] as given
    // (by default the file's path).
    pid_t start(const QString &fileName, const QString &argv0 = QString())
    {
        const QString path = m_dir.filePath(fileName);
        if (!QFile::exists(path)) {
            EXPECT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), path));
        }
        const QByteArray file = QFile::encodeName(path);
        const QByteArray first = argv0.isEmpty() ? file : argv0.toLocal8Bit();
        char seconds[] = "300";
        char *argv[] = {const_cast<char *>(first.constData()), seconds, nullptr};
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, file.constData(), nullptr, nullptr, argv, environ), 0);
        m_children.push_back(pid);
        return pid;
    }

    static bool running(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == 0; }

    // Waits for a child that was sent SIGKILL; true when it died of it.
    static bool killed(pid_t pid)
    {
        int status = 0;
        return ::waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    QString m_token;
    QTemporaryDir m_dir;
    std::vector<pid_t> m_children;
};

TEST_F(RunningCopies, NamesMatchAsFragmentsWithoutRegardToAsciiCase)
{
    const pid_t plain = start(name(QStringLiteral("Telvarex")) + QStringLiteral(".exe"));
    EXPECT_EQ(FindProcessByName(name(QStringLiteral("Telvarex"))), std::uint32_t(plain));
    EXPECT_EQ(FindProcessByName(name(QStringLiteral("TELVAREX"))), std::uint32_t(plain));

    const pid_t upper = start(name(QStringLiteral("TELVAREX")) + QStringLiteral(".EXE"));
    const pid_t older = start(QStringLiteral("Old") + name(QStringLiteral("Telvarex")) + QStringLiteral("2.exe"));
    // The last of the matches in ascending id order.
    EXPECT_EQ(FindProcessByName(name(QStringLiteral("telvarex"))), std::uint32_t(std::max({plain, upper, older})));

    // A sibling program under Wine is known by its .exe, not by the loader.
    const pid_t windows
        = start(QStringLiteral("wine64-preloader"),
                QStringLiteral("C:\\Movan\\") + name(QStringLiteral("Cordanex")) + QStringLiteral(".exe"));
    EXPECT_EQ(FindProcessByName(name(QStringLiteral("Cordanex")) + QStringLiteral(".EXE")), std::uint32_t(windows));
}

TEST_F(RunningCopies, OnlyTheLastMatchEnds)
{
    const QString file = name(QStringLiteral("Telvarex")) + QStringLiteral(".exe");
    const pid_t first = start(file);
    const pid_t second = start(file);
    const pid_t last = std::max(first, second);
    const pid_t other = std::min(first, second);

    KillProcessByName(name(QStringLiteral("Telvarex")));
    EXPECT_TRUE(killed(last));
    m_children.erase(std::find(m_children.begin(), m_children.end(), last));
    EXPECT_TRUE(running(other));
    // The ended one is not found again; the other one is.
    EXPECT_EQ(FindProcessByName(name(QStringLiteral("Telvarex"))), std::uint32_t(other));
}

TEST_F(RunningCopies, NoMatchAndAnEmptyNameEndNothing)
{
    const pid_t copy = start(name(QStringLiteral("Telvarex")) + QStringLiteral(".exe"));
    EXPECT_EQ(FindProcessByName(name(QStringLiteral("Cordanex"))), 0u);
    KillProcessByName(name(QStringLiteral("Cordanex")));
    EXPECT_EQ(FindProcessByName(QString()), 0u);
    KillProcessByName(QString());
    EXPECT_TRUE(running(copy));
}

TEST_F(RunningCopies, NeverTheToolItself)
{
    const QString self = QCoreApplication::applicationFilePath().section(u'/', -1);
    EXPECT_NE(FindProcessByName(self), std::uint32_t(::getpid()));
}

} // namespace
