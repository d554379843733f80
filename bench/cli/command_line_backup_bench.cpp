// A backup of a 1 GiB database by the command line (movan-config --backup, a
// process of its own, as a timer starts it), against the same BACKUP
// statement sent straight to sqlemu by tsql in the same run. The command
// line logs in with the SQL Server login saved in its InitPrg.ini; the
// comparison leaves its read-back out (--no-verify), and a third benchmark
// measures the whole run with it.
// Needs TCP 1433 free: the command line backs up on the local default instance.
#include "db/database.h"
#include "platform/freetds_session.h"
#include "settings/connection_templates.h"

#include "support/bench_application.h"
#include "support/bench_database.h"
#include "support/sqlemu_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/socket.h>

using namespace movan;

namespace {

const QString kDatabase = QStringLiteral("Big");
const QString kSaPassword = QStringLiteral("Secret1");
constexpr int kDatabaseMegabytes = 1024;

QTemporaryDir *g_app = nullptr;
int g_run = 0;

QString saConnectionString()
{
    return BuildConnectionString(QStringLiteral("127.0.0.1,1433"), QStringLiteral("SQL"), QStringLiteral("sa"),
                                 kSaPassword, QStringLiteral("master"));
}

// A fresh folder per run, so every backup makes a new file.
QString nextFolder()
{
    const QString folder = g_app->filePath(QStringLiteral("run%1").arg(++g_run));
    QDir().mkpath(folder);
    return folder;
}

qint64 folderBytes(const QString &folder)
{
    qint64 bytes = 0;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files))
        bytes += info.size();
    return bytes;
}

struct Timed {
    double seconds = 0;
    qint64 bytes = 0;
    QString error; // empty when the backup was written
};

Timed backUpByCommandLine(bool verify)
{
    const QString folder = nextFolder();
    QStringList arguments = {QStringLiteral("--backup"), kDatabase, QStringLiteral("--to"), folder};
    if (!verify)
        arguments.append(QStringLiteral("--no-verify"));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KRB5CCNAME"), QStringLiteral("FILE:") + g_app->filePath(QStringLiteral("none")));
    program.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    program.start(g_app->filePath(QStringLiteral("movan-config")), arguments);
    program.waitForFinished(600000);
    Timed timed{double(clock.elapsed()) / 1000.0, folderBytes(folder), {}};
    if (program.exitCode() != 0)
        timed.error = QString::fromLocal8Bit(program.readAllStandardError());
    QDir(folder).removeRecursively();
    return timed;
}

Timed backUpByTsql()
{
    const QString folder = nextFolder();
    const QString path = QDir(folder).filePath(QStringLiteral("Big.Bak"));
    const double seconds = backUpWithTsql(kDatabase, path, kSaPassword);
    Timed timed{seconds, folderBytes(folder), {}};
    if (timed.bytes == 0)
        timed.error = QStringLiteral("tsql wrote no backup");
    QDir(folder).removeRecursively();
    return timed;
}

void report(benchmark::State &state, const Timed &timed)
{
    state.SetIterationTime(timed.seconds);
    state.counters["backup_mb"] = double(timed.bytes) / (1024 * 1024);
    if (!timed.error.isEmpty())
        state.SkipWithError(timed.error.toUtf8().constData());
}

void CommandLine(benchmark::State &state)
{
    for (auto _ : state)
        report(state, backUpByCommandLine(false));
}
BENCHMARK(CommandLine)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

void StraightWithTsql(benchmark::State &state)
{
    for (auto _ : state)
        report(state, backUpByTsql());
}
BENCHMARK(StraightWithTsql)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

void CommandLineVerified(benchmark::State &state)
{
    for (auto _ : state)
        report(state, backUpByCommandLine(true));
}
BENCHMARK(CommandLineVerified)->Iterations(2)->UseManualTime()->Unit(benchmark::kSecond);

// The two side by side, turn about, so that a machine whose load drifts
// weighs on both alike: the time is the command line's, tsql_over_cli the
// speed of the command line relative to tsql (1 = as fast; the goal is 0.95
// or more) over all the pairs.
void TurnAbout(benchmark::State &state)
{
    double cli = 0, tsql = 0;
    for (auto _ : state) {
        const Timed straight = backUpByTsql();
        const Timed ours = backUpByCommandLine(false);
        report(state, ours);
        if (!straight.error.isEmpty())
            state.SkipWithError(straight.error.toUtf8().constData());
        cli += ours.seconds;
        tsql += straight.seconds;
    }
    state.counters["tsql_over_cli"] = cli > 0 ? tsql / cli : 0;
}
BENCHMARK(TurnAbout)->Iterations(6)->UseManualTime()->Unit(benchmark::kSecond);

// The program in a folder of its own with the login saved beside it.
bool installProgram(const QString &folder)
{
    const QString program = QDir(folder).filePath(QStringLiteral("movan-config"));
    if (!QFile::copy(QString::fromStdString(builtExecutable("movan-config")), program))
        return false;
    QFile settings(QDir(folder).filePath(QStringLiteral("InitPrg.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.write("[DataBase]\r\nServer=.\r\nDataBaseName=Big\r\nType=SQL\r\nUser=sa\r\nPass=Secret1\r\n");
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const auto app = makeBenchApplication(argc, argv);
    if (!loopbackPortIsFree(1433, SOCK_STREAM)) {
        fprintf(stderr, "TCP 1433 is in use\n");
        return 1;
    }
    QTemporaryDir data;
    QTemporaryDir programFolder;
    g_app = &programFolder;
    if (!installProgram(programFolder.path())) {
        fprintf(stderr, "movan-config could not be put in a folder of its own\n");
        return 1;
    }
    SqlemuOptions options;
    options.port = 1433;
    options.saPassword = kSaPassword.toStdString();
    options.dataDir = data.path().toStdString();
    SqlemuProcess server(options);
    if (!server.start()) {
        fprintf(stderr, "sqlemu did not start: %s\n", server.error().c_str());
        return 1;
    }
    FreeTdsSession::initializeLibrary();
    if (!makeAttachedDatabase(data.path(), kDatabase, kDatabaseMegabytes, saConnectionString()))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
