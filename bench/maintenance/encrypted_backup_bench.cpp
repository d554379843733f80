// What encryption costs a backup. The maintenance window's backup button
// (save dialog answered, notice closed) against a sqlemu that forces
// encryption and against one that only offers it; the program encrypts the
// whole connection with both. To see the price of TLS itself, the same BACKUP
// statement straight from tsql, once encrypted and once in clear text, which
// only a client other than the program can ask for.
// Needs TCP 1433 free: the window backs up on the local default instance with
// Windows (Kerberos) authentication.
#include "bench/backup_bench_support.h"
#include "db/database.h"
#include "maintenance/frm_db_tools.h"
#include "platform/freetds_session.h"
#include "settings/connection_templates.h"
#include "widgets/edit/lookup_list_source.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"

#include "support/bench_application.h"
#include "support/bench_database.h"
#include "support/kerberos_realm.h"
#include "support/modal_dialog_driver.h"
#include "support/sqlemu_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <memory>

using namespace movan;

namespace {

const QString kDatabase = QStringLiteral("Big");
constexpr int kDatabaseMegabytes = 256;
const char *const kModes[] = {"forced", "available"};

KerberosRealm *g_realm = nullptr;
QTemporaryDir *g_data = nullptr;
QTemporaryDir *g_backups = nullptr;
std::unique_ptr<SqlemuProcess> g_server;
std::string g_mode;
int g_file = 0;

QString nextBackupPath()
{
    return g_backups->filePath(QStringLiteral("backup%1.Bak").arg(++g_file));
}

// The one server on 1433, restarted on the same data when the mode changes.
bool serveIn(const std::string &mode)
{
    if (g_server && g_mode == mode)
        return true;
    g_server.reset();
    SqlemuOptions options = g_realm->serverOptions(1433);
    options.saPassword = "Secret1";
    options.dataDir = g_data->path().toStdString();
    options.extraArguments = {"--encryption", mode};
    g_server = std::make_unique<SqlemuProcess>(options);
    g_mode = mode;
    if (!g_server->start()) {
        fprintf(stderr, "sqlemu did not start: %s\n", g_server->error().c_str());
        return false;
    }
    return true;
}

void ThroughTheWindow(benchmark::State &state)
{
    if (!serveIn(kModes[state.range(0)])) {
        state.SkipWithError("no server");
        return;
    }
    state.SetLabel(std::string("server encryption ") + kModes[state.range(0)]);
    TFrmDBTools window;
    window.show();
    QTest::qWait(50);
    window.DBLDBBackup->setCurrentIndex(window.DBLDBBackup->findText(kDatabase));
    for (auto _ : state) {
        const QString path = nextBackupPath();
        ModalDialogDriver driver(600000);
        driver.ignoreWindow(&window);
        answerSaveDialog(driver, path);
        QElapsedTimer clock;
        qint64 ended = 0;
        driver.handle([&](QWidget *modal) {
            ended = clock.elapsed();
            modal->close();
        });
        clock.start();
        QTest::mouseClick(window.BitBtn4, Qt::LeftButton);
        state.SetIterationTime(double(ended) / 1000.0);
        state.counters["backup_mb"] = double(QFileInfo(path).size()) / (1024 * 1024);
        if (!driver.failures().isEmpty() || QFileInfo(path).size() == 0)
            state.SkipWithError("the window wrote no backup");
        QFile::remove(path);
    }
}
BENCHMARK(ThroughTheWindow)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// tsql with FreeTDS's encryption level: "require" (TLS throughout, as the
// program) against the forcing server, "off" (clear text) against the other.
void StraightWithTsql(benchmark::State &state)
{
    const bool encrypted = state.range(0) == 0;
    if (!serveIn(kModes[state.range(0)])) {
        state.SkipWithError("no server");
        return;
    }
    state.SetLabel(encrypted ? "TLS" : "clear text");
    const QString conf = g_backups->filePath(QStringLiteral("freetds.conf"));
    QFile file(conf);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(encrypted ? "[global]\n\tencryption = require\n" : "[global]\n\tencryption = off\n");
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FREETDSCONF"), conf);
    for (auto _ : state) {
        timeTsqlBackup(state, kDatabase, nextBackupPath(), environment);
    }
}
BENCHMARK(StraightWithTsql)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    const auto app = makeBenchApplication(argc, argv);
    const std::unique_ptr<KerberosRealm> realm = startDefaultInstanceRealm();
    if (!realm)
        return 1;
    QTemporaryDir data;
    QTemporaryDir backups;
    g_realm = realm.get();
    g_data = &data;
    g_backups = &backups;
    FreeTdsSession::initializeLibrary();
    if (!serveIn(kModes[0])
        || !makeAttachedDatabase(g_data->path(), kDatabase, kDatabaseMegabytes,
                                 BuildConnectionString(QStringLiteral("127.0.0.1,1433"), QStringLiteral("SQL"),
                                                       QStringLiteral("sa"), QStringLiteral("Secret1"),
                                                       QStringLiteral("master"))))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
