#include "support/program_end.h"
#include "support/test_paths.h"
#include "support/x_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <signal.h>
#include <vector>

namespace {

const QString kSetupCaption = QStringLiteral("Movan Config DataBase 4.0");
const QString kProbeCaption = QStringLiteral("Guard probe");
const QString kProbeDialogCaption = QStringLiteral("Probe dialog");
// A copy that gives way must end; the bound catches one that hangs and is
// generous, since a loaded machine starts a Qt program slowly and the wait
// ends as soon as the copy does.
constexpr int kGiveWayMs = 20000;
constexpr int kShowMs = 20000;

class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(session.isReady());
        ASSERT_TRUE(copies.isValid());
    }

    void TearDown() override
    {
        for (auto &process : processes)
            killIfRunning(*process);
    }

    QProcess *start(const QString &program, const QProcessEnvironment &env = {})
    {
        processes.push_back(session.start(program, env));
        return processes.back().get();
    }

    // The same program under another file name, hence another title.
    QString copyNamed(const QString &source, const QString &name)
    {
        const QString target = QDir(copies.path()).filePath(name);
        if (!QFile::exists(target))
            QFile::copy(source, target);
        return target;
    }

    static bool waitForLine(QProcess *process, const QByteArray &line, int timeoutMs = kShowMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        QByteArray seen;
        while (!deadline.hasExpired()) {
            process->waitForReadyRead(50);
            seen += process->readAllStandardOutput();
            if (seen.split('\n').contains(line))
                return true;
            if (process->state() == QProcess::NotRunning && !process->bytesAvailable())
                return false;
        }
        return false;
    }

    static bool endedWithCodeZero(QProcess *process)
    {
        // waitForFinished() is false for a process that has already ended.
        const bool ended = process->state() == QProcess::NotRunning || process->waitForFinished(kGiveWayMs);
        return ended && process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    }

    // The process's first visible window, waiting for it to be mapped.
    QString windowOf(QProcess *process) const
    {
        QDeadlineTimer deadline(kShowMs);
        while (!deadline.hasExpired()) {
            if (const QStringList windows = windowsOf(process); !windows.isEmpty())
                return windows.first();
            QThread::msleep(50);
        }
        return {};
    }

    QStringList windowsOf(QProcess *process) const
    {
        return session.tool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(process->processId())})
            .split('\n', Qt::SkipEmptyParts);
    }

    XSession session;
    QTemporaryDir copies;
    std::vector<std::unique_ptr<QProcess>> processes;
    const QString setup = builtExecutablePath("movan-config");
    const QString probe = builtExecutablePath("guard_probe");
};

QProcessEnvironment settings(std::initializer_list<std::pair<const char *, const char *>> values)
{
    QProcessEnvironment env;
    for (const auto &[key, value] : values)
        env.insert(QString::fromLatin1(key), QString::fromLatin1(value));
    return env;
}

TEST_F(SingleInstance, SecondStartRestoresTheMinimisedFirstAndShowsNothing)
{
    QProcess *first = start(setup);
    ASSERT_TRUE(session.waitForWindows(kSetupCaption, 1));
    const QString window = session.windowsNamed(kSetupCaption).first();
    session.minimize(window);
    ASSERT_TRUE(session.waitForWindowState(window, "Iconic"));

    QProcess *second = start(setup);
    EXPECT_TRUE(endedWithCodeZero(second));
    EXPECT_TRUE(session.waitForWindowState(window, "Normal"));
    EXPECT_EQ(session.windowsNamed(kSetupCaption), QStringList{window});
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(SingleInstance, CopyThatGivesWayNeverShowsItsMainWindowEvenForAMoment)
{
    QProcess *first = start(probe);
    ASSERT_TRUE(waitForLine(first, "shown"));
    // The probe says "shown" the moment its main window is asked to show,
    // before the window system maps it; a copy that showed its window and
    // then quit leaves no window to find afterwards, but leaves that line.
    QProcess *second = start(probe);
    ASSERT_TRUE(endedWithCodeZero(second));
    const QList<QByteArray> said = second->readAllStandardOutput().split('\n');
    EXPECT_FALSE(said.contains("shown"));
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(session.windowsNamed(kProbeCaption).size(), 1);
}

TEST_F(SingleInstance, ClosingTheMainWindowEndsTheProgramWithCodeZero)
{
    QProcess *program = start(setup);
    ASSERT_TRUE(session.waitForWindows(kSetupCaption, 1));
    const QString window = session.windowsNamed(kSetupCaption).first();
    // The window manager's close (openbox: Alt+F4 on the active window).
    // A loaded machine may take a while to give the window the keyboard; the
    // wait costs nothing once the program has ended.
    for (int attempt = 0; attempt < 60 && program->state() == QProcess::Running; ++attempt) {
        session.activate(window);
        session.tool("xdotool", {"key", "alt+F4"});
        program->waitForFinished(500);
    }
    EXPECT_TRUE(endedWithCodeZero(program));
}

TEST_F(SingleInstance, ArgumentsAreNotRead)
{
    // Qt's own options among them: this one would rename the first window.
    processes.push_back(session.start(setup, {}, {"-qwindowtitle", "Renamed", "-reverse"}));
    EXPECT_TRUE(session.waitForWindows(kSetupCaption, 1));
    EXPECT_TRUE(session.windowsNamed("Renamed").isEmpty());
}

TEST_F(SingleInstance, SecondStartBringsTheFirstWindowToTheFront)
{
    start(setup);
    ASSERT_TRUE(session.waitForWindows(kSetupCaption, 1));
    const QString window = session.windowsNamed(kSetupCaption).first();
    // Another program's window takes the front: a copy under another name.
    QProcess *other = start(copyNamed(setup, "movan-other"));
    ASSERT_TRUE(session.waitForWindows(kSetupCaption, 2));
    const QString otherWindow = windowOf(other);
    session.activate(otherWindow);
    ASSERT_TRUE(session.waitForActiveWindow(otherWindow));

    QProcess *second = start(setup);
    EXPECT_TRUE(endedWithCodeZero(second));
    EXPECT_TRUE(session.waitForActiveWindow(window, 20000));
}

TEST_F(SingleInstance, SecondStartBringsTheFirstCopysModalDialogToTheFront)
{
    QProcess *first = start(probe, settings({{"PROBE_MODAL", "1"}}));
    ASSERT_TRUE(waitForLine(first, "shown"));
    ASSERT_TRUE(session.waitForWindows(kProbeDialogCaption, 1));
    const QString dialog = session.windowsNamed(kProbeDialogCaption).first();
    QProcess *other = start(copyNamed(probe, "probe-other"));
    ASSERT_TRUE(waitForLine(other, "shown"));
    const QString otherWindow = windowOf(other);
    session.activate(otherWindow);
    ASSERT_TRUE(session.waitForActiveWindow(otherWindow));

    QProcess *second = start(probe, settings({{"PROBE_MODAL", "1"}}));
    EXPECT_TRUE(endedWithCodeZero(second));
    EXPECT_TRUE(session.waitForActiveWindow(dialog, 20000));
}

TEST_F(SingleInstance, MessageDialogStaysAboveAnotherProgramsActiveWindow)
{
    QProcess *first = start(probe, settings({{"PROBE_MODAL", "1"}}));
    ASSERT_TRUE(waitForLine(first, "shown"));
    ASSERT_TRUE(session.waitForWindows(kProbeDialogCaption, 1));
    const QString dialog = session.windowsNamed(kProbeDialogCaption).first();
    QProcess *other = start(copyNamed(probe, "probe-other"));
    const QString otherWindow = windowOf(other);
    session.activate(otherWindow);
    ASSERT_TRUE(session.waitForActiveWindow(otherWindow));
    // Bottom to top, as the window manager stacks its clients.
    const QString stacking = session.tool("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    const auto position = [&](const QString &window) {
        return stacking.indexOf(QStringLiteral("0x") + QString::number(window.toULong(), 16));
    };
    ASSERT_GE(position(dialog), 0) << stacking.toStdString();
    ASSERT_GE(position(otherWindow), 0) << stacking.toStdString();
    EXPECT_GT(position(dialog), position(otherWindow)) << stacking.toStdString();
}

TEST_F(SingleInstance, CopyUnderAnotherNameRunsBeside)
{
    QProcess *first = start(setup);
    ASSERT_TRUE(session.waitForWindows(kSetupCaption, 1));
    QProcess *other = start(copyNamed(setup, "Movan-Config.Copy"));
    EXPECT_TRUE(session.waitForWindows(kSetupCaption, 2));
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_EQ(other->state(), QProcess::Running);
    // The title is cut at the first dot with the rest in lower case, so this
    // name is the same program as far as the guard can tell.
    QProcess *sameTitle = start(copyNamed(setup, "MOVAN-CONFIG.COPY.bin"));
    EXPECT_TRUE(endedWithCodeZero(sameTitle));
}

TEST_F(SingleInstance, KilledFirstCopyDoesNotBlockTheNextStart)
{
    QProcess *first = start(setup);
    ASSERT_TRUE(session.waitForWindows(kSetupCaption, 1));
    ::kill(pid_t(first->processId()), SIGKILL);
    first->waitForFinished(3000);
    ASSERT_TRUE(session.waitForWindows(kSetupCaption, 0));

    QProcess *next = start(setup);
    EXPECT_TRUE(session.waitForWindows(kSetupCaption, 1));
    EXPECT_FALSE(next->waitForFinished(500));
    // And the new copy is found by the one after it.
    QProcess *third = start(setup);
    EXPECT_TRUE(endedWithCodeZero(third));
}

TEST_F(SingleInstance, MultipleInstancesWithoutAHandlerAllRun)
{
    const auto env = settings({{"PROBE_MULTIPLE", "1"}});
    for (int copy = 0; copy < 3; ++copy)
        ASSERT_TRUE(waitForLine(start(probe, env), "shown")) << copy;
    EXPECT_TRUE(session.waitForWindows(kProbeCaption, 3));
}

TEST_F(SingleInstance, MultipleInstancesAskTheHandlerWithTheNumberOfOtherCopies)
{
    ASSERT_TRUE(waitForLine(start(probe, settings({{"PROBE_MULTIPLE", "1"}, {"PROBE_HANDLER", "keep"}})), "shown"));
    QProcess *second = start(probe, settings({{"PROBE_MULTIPLE", "1"}, {"PROBE_HANDLER", "keep"}}));
    EXPECT_TRUE(waitForLine(second, "others=1"));
    ASSERT_TRUE(session.waitForWindows(kProbeCaption, 2));

    QProcess *third = start(probe, settings({{"PROBE_MULTIPLE", "1"}, {"PROBE_HANDLER", "yield"}}));
    EXPECT_TRUE(waitForLine(third, "others=2"));
    EXPECT_TRUE(endedWithCodeZero(third));
    EXPECT_EQ(session.windowsNamed(kProbeCaption).size(), 2);

    // A copy that ended gave its unit back.
    second->kill();
    second->waitForFinished(3000);
    QProcess *fourth = start(probe, settings({{"PROBE_MULTIPLE", "1"}, {"PROBE_HANDLER", "yield"}}));
    EXPECT_TRUE(waitForLine(fourth, "others=1"));
    EXPECT_TRUE(endedWithCodeZero(fourth));
}

TEST_F(SingleInstance, CloseMainFormOnTheMainWindowsGuardLetsTheSecondCopyRun)
{
    const auto env = settings({{"PROBE_TERMINATE_BY", "1"}});
    ASSERT_TRUE(waitForLine(start(probe, env), "shown"));
    QProcess *second = start(probe, env);
    EXPECT_TRUE(waitForLine(second, "shown"));
    EXPECT_TRUE(session.waitForWindows(kProbeCaption, 2));
}

TEST_F(SingleInstance, ClosePreviousEndsTheFirstCopyAndKeepsTheSecond)
{
    QProcess *first = start(probe);
    ASSERT_TRUE(waitForLine(first, "shown"));
    QProcess *second = start(probe, settings({{"PROBE_CLOSE_PREVIOUS", "1"}}));
    EXPECT_TRUE(waitForLine(second, "shown"));
    EXPECT_TRUE(endedWithCodeZero(first));
    EXPECT_TRUE(session.waitForWindows(kProbeCaption, 1));
    EXPECT_EQ(second->state(), QProcess::Running);
    // The copy that took over is now the running one: the next start gives way.
    QProcess *third = start(probe);
    EXPECT_TRUE(endedWithCodeZero(third));
    EXPECT_EQ(second->state(), QProcess::Running);
    EXPECT_EQ(session.windowsNamed(kProbeCaption).size(), 1);
}

TEST_F(SingleInstance, ALinkToTheProgramIsTheSameProgram)
{
    ASSERT_TRUE(waitForLine(start(probe), "shown"));
    // Under another name, which would give another title if the name counted.
    const QString link = QDir(copies.path()).filePath(QStringLiteral("launcher"));
    ASSERT_TRUE(QFile::link(probe, link));
    QProcess *second = start(link);
    EXPECT_TRUE(endedWithCodeZero(second));
    EXPECT_EQ(session.windowsNamed(kProbeCaption).size(), 1);
}

TEST_F(SingleInstance, WarningTextIsShownUnderTheTitleBeforeGivingWay)
{
    QProcess *first = start(probe);
    ASSERT_TRUE(waitForLine(first, "shown"));
    QProcess *second = start(probe, settings({{"PROBE_WARNING", "Already running"}}));
    // The title: the executable's name, cut at its first dot.
    ASSERT_TRUE(session.waitForWindows("guard_probe", 1));
    EXPECT_EQ(second->state(), QProcess::Running);
    const QString box = session.windowsNamed("guard_probe").first();
    // The box may be mapped before it takes keys: press until it has gone.
    for (int attempt = 0; attempt < 60 && second->state() == QProcess::Running; ++attempt) {
        session.activate(box);
        session.tool("xdotool", {"key", "Return"});
        second->waitForFinished(500);
    }
    EXPECT_TRUE(endedWithCodeZero(second));
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_TRUE(session.waitForWindows(kProbeCaption, 1));
}

TEST_F(SingleInstance, ExitProcessAndTerminateProcessEndWithCodeZero)
{
    ASSERT_TRUE(waitForLine(start(probe), "shown"));
    for (const char *method : {"2", "3", "4"}) {
        QProcess *copy = start(probe, settings({{"PROBE_TERMINATE_BY", method}}));
        EXPECT_TRUE(endedWithCodeZero(copy)) << method;
    }
    EXPECT_EQ(session.windowsNamed(kProbeCaption).size(), 1);
}

} // namespace
