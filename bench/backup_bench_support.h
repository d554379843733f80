#pragma once

// Steps the backup benchmarks share: the test realm for a server on TCP
// 1433, the save dialog answered with a path, and one timed backup by tsql.

#include "support/bench_database.h"
#include "support/kerberos_realm.h"
#include "support/modal_dialog_driver.h"
#include "support/sqlemu_process.h"

#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <sys/socket.h>

// A Kerberos realm whose service is the default instance on TCP 1433, in use
// by this process; null, with the reason on standard error, when the port is
// taken or the realm does not come up.
inline std::unique_ptr<KerberosRealm> startDefaultInstanceRealm()
{
    if (!loopbackPortIsFree(1433, SOCK_STREAM)) {
        std::fprintf(stderr, "TCP 1433 is in use\n");
        return nullptr;
    }
    auto realm = std::make_unique<KerberosRealm>(std::vector<int>{1433});
    if (!realm->start()) {
        std::fprintf(stderr, "no Kerberos realm: %s\n", realm->error().c_str());
        return nullptr;
    }
    realm->applyToThisProcess();
    return realm;
}

// Answers the next dialog, the backup's save dialog, with the path.
inline void answerSaveDialog(ModalDialogDriver &driver, const QString &path)
{
    driver.handle([path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        dialog->setDirectory(QFileInfo(path).absolutePath());
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).fileName());
        static_cast<QDialog *>(dialog)->accept();
    });
}

// One iteration: tsql backs the database up into the path (see
// backUpWithTsql); its time and the size written are recorded, and the file
// removed again.
inline void timeTsqlBackup(benchmark::State &state, const QString &database, const QString &path,
                           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    state.SetIterationTime(backUpWithTsql(database, path, QStringLiteral("Secret1"), environment));
    state.counters["backup_mb"] = double(QFileInfo(path).size()) / (1024 * 1024);
    if (QFileInfo(path).size() == 0)
        state.SkipWithError("tsql wrote no backup");
    QFile::remove(path);
}
