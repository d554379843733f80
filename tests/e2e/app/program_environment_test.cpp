// The program's start-up where real installs differ from a build folder:
// screens of high density and an executable replaced while it runs. Runs
// offscreen; no X server is needed.
#include "support/program_end.h"
#include "support/test_paths.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr int kStartMs = 20000;

class ProgramEnvironment : public ::testing::Test {
protected:
    void TearDown() override { killIfRunning(program); }

    void start(const QString &executable, const QString &platform, const QProcessEnvironment &extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.remove(QStringLiteral("QT_SCALE_FACTOR"));
        env.remove(QStringLiteral("QT_FONT_DPI"));
        for (const QString &key : extra.keys())
            env.insert(key, extra.value(key));
        program.setProcessEnvironment(env);
        program.start(executable, {});
    }

    // The first line that starts with prefix, without it; empty if none came.
    QByteArray lineStartingWith(const QByteArray &prefix)
    {
        QDeadlineTimer deadline(kStartMs);
        while (!deadline.hasExpired()) {
            while (program.canReadLine()) {
                const QByteArray line = program.readLine().trimmed();
                if (line.startsWith(prefix))
                    return line.mid(prefix.size());
            }
            if (program.state() == QProcess::NotRunning)
                return {};
            program.waitForReadyRead(50);
        }
        return {};
    }

    QTemporaryDir runtime;
    QTemporaryDir folder;
    QProcess program;
    const QString probe = builtExecutablePath("guard_probe");
};

TEST_F(ProgramEnvironment, HighDensityScreensShowTheWindowAtTheSameSize)
{
    // A screen of 192 dots per inch, as a desktop's font settings announce it.
    const QString screens = folder.filePath(QStringLiteral("screens.json"));
    QFile config(screens);
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(R"({"screens": [{"name": "hidpi", "x": 0, "y": 0, "width": 2560, "height": 1600,
                                  "logicalDpi": 192, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.close();

    QProcessEnvironment scaled;
    scaled.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    const struct {
        const char *name;
        QString platform;
        QProcessEnvironment env;
    } cases[] = {
        {"scale factor", QStringLiteral("offscreen"), scaled},
        {"screen resolution", QStringLiteral("offscreen:configfile=") + screens, {}},
    };
    for (const auto &c : cases) {
        start(probe, c.platform, c.env);
        // Twice the device pixels, the same layout in logical ones.
        EXPECT_EQ(lineStartingWith("scale="), QByteArray("2 size=240x120")) << c.name;
        killIfRunning(program);
    }
}

TEST_F(ProgramEnvironment, AnExecutableReplacedWhileRunningKeepsItsFolder)
{
    const QString installed = folder.filePath(QStringLiteral("guard_probe"));
    ASSERT_TRUE(QFile::copy(probe, installed));
    start(installed, QStringLiteral("offscreen"));
    ASSERT_FALSE(lineStartingWith("scale=").isEmpty());
    const QByteArray expected = QFile::encodeName(QDir(folder.path()).canonicalPath() + u'/');

    // An upgrade removes the old file, then puts the new one in its place.
    ASSERT_TRUE(QFile::remove(installed));
    program.write("folder\n");
    EXPECT_EQ(lineStartingWith("folder="), expected);
    const QString upgrade = folder.filePath(QStringLiteral("guard_probe.new"));
    ASSERT_TRUE(QFile::copy(probe, upgrade));
    ASSERT_EQ(std::rename(QFile::encodeName(upgrade).constData(), QFile::encodeName(installed).constData()), 0);
    program.write("folder\n");
    EXPECT_EQ(lineStartingWith("folder="), expected);
}

} // namespace
