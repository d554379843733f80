// A backup of a 1 GiB database made through the maintenance window's button
// (save dialog answered, notice closed), against the same BACKUP statement
// sent straight to sqlemu by tsql in the same run; and the longest time the
// window's thread went without its event loop while the backup ran.
// Needs TCP 1433 free: the window backs up on the local default instance
// with Windows (Kerberos) authentication.
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
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace movan;

namespace {

const QString kDatabase = QStringLiteral("Big");
constexpr int kDatabaseMegabytes = 1024;

QTemporaryDir *g_backups = nullptr;
int g_file = 0;

QString nextBackupPath()
{
    return g_backups->filePath(QStringLiteral("backup%1.Bak").arg(++g_file));
}

QString saConnectionString()
{
    return BuildConnectionString(QStringLiteral("127.0.0.1,1433"), QStringLiteral("SQL"), QStringLiteral("sa"),
                                 QStringLiteral("Secret1"), QStringLiteral("master"));
}

void ThroughTheWindow(benchmark::State &state)
{
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
        qint64 last = 0, longest = 0, backupEnded = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        // The notice closes the measured span: the backup is over once it shows.
        driver.handle([&](QWidget *modal) {
            backupEnded = clock.elapsed();
            longest = std::max(longest, backupEnded - last);
            modal->close();
        });
        clock.start();
        ticker.start(5);
        QTest::mouseClick(window.BitBtn4, Qt::LeftButton);
        ticker.stop();
        state.SetIterationTime(double(backupEnded) / 1000.0);
        state.counters["longest_stall_ms"] = double(longest);
        state.counters["backup_mb"] = double(QFileInfo(path).size()) / (1024 * 1024);
        if (!driver.failures().isEmpty())
            state.SkipWithError(driver.failures().join(u'\n').toUtf8().constData());
        QFile::remove(path);
    }
}
BENCHMARK(ThroughTheWindow)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

void StraightWithTsql(benchmark::State &state)
{
    for (auto _ : state) {
        timeTsqlBackup(state, kDatabase, nextBackupPath());
    }
}
BENCHMARK(StraightWithTsql)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    const auto app = makeBenchApplication(argc, argv);
    const std::unique_ptr<KerberosRealm> realm = startDefaultInstanceRealm();
    if (!realm)
        return 1;
    QTemporaryDir data;
    QTemporaryDir backups;
    g_backups = &backups;
    SqlemuOptions options = realm->serverOptions(1433);
    options.saPassword = "Secret1";
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
