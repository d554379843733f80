// The restore of a 1 GiB backup set through the maintenance window's button
// (warning, file dialog and question answered, the closing message read),
// beside the bare RESTORE DATABASE ... WITH REPLACE, MOVE of the same set to
// the same files, sent in the same iteration through the program's database
// layer; the longest time the window's thread went without its event loop
// while the restore ran, and whether that was its own work or a processor
// it did not get; and where the window's time goes, statement by statement,
// as the server's trace saw it (listed on standard error). Warm: the set and
// the database in the page cache; cold: read from the disk.
// Needs TCP 1433 free: the window restores on the local default instance
// with Windows (Kerberos) authentication.
#include "bench/backup_bench_support.h"
#include "db/database.h"
#include "maintenance/frm_db_tools.h"
#include "platform/executable_path.h"
#include "platform/freetds_session.h"
#include "platform/profile_file.h"
#include "settings/connection_templates.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "widgets/edit/lookup_list_source.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"

#include "support/bench_application.h"
#include "support/bench_database.h"
#include "support/bench_event_loop_stalls.h"
#include "support/kerberos_realm.h"
#include "support/modal_dialog_driver.h"
#include "support/sqlemu_process.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace movan;

namespace {

const QString kDatabase = QStringLiteral("Big");
constexpr int kDatabaseMegabytes = 1024;
const QString kYes = QStringLiteral("بلي");

SqlemuProcess *g_server = nullptr;
QString g_backupFile;

QString saConnectionString()
{
    return BuildConnectionString(QStringLiteral("127.0.0.1,1433"), QStringLiteral("SQL"), QStringLiteral("sa"),
                                 QStringLiteral("Secret1"), QStringLiteral("master"));
}

// The restore places the database's files in Data beside the executable,
// with these names; the bare RESTORE moves them to the same files, so both
// write the same way.
QString restoredFile(const char *name)
{
    return executableDirectory() + QStringLiteral("Data\\") + QLatin1String(name);
}

// The restore as a plain client sends it, nothing checked or copied around
// it; the seconds from the login to the server's last reply.
double bareRestore()
{
    QElapsedTimer clock;
    clock.start();
    DbCommand restore;
    restore.setConnectionString(saConnectionString());
    restore.setCommandText(QStringLiteral("RESTORE DATABASE [%1] FROM DISK = N'%2' WITH REPLACE, MOVE 'Data_Data' TO "
                                          "N'%3', MOVE 'Data_log' TO N'%4'")
                               .arg(kDatabase, g_backupFile, restoredFile("Data.mdf"), restoredFile("Data_Log.ldf")));
    restore.execute();
    return double(clock.elapsed()) / 1000.0;
}

// One request as the server's trace recorded it: received, then ended.
struct Request {
    QString text;
    qint64 receivedMs = 0; // since the epoch, the server's clock
    qint64 endedMs = 0;
};

qint64 traceTime(const QJsonObject &entry)
{
    return QDateTime::fromString(entry.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

// The requests of the trace's lines from the entry on, each paired with the
// end line of its session (a session runs one request at a time).
std::vector<Request> tracedRequestsSince(std::size_t from)
{
    std::vector<Request> requests;
    QHash<int, std::size_t> open;
    const std::vector<std::string> lines = g_server->traceLines();
    for (std::size_t i = from; i < lines.size(); ++i) {
        const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(lines[i])).object();
        const QString kind = entry.value(QStringLiteral("kind")).toString();
        const int session = entry.value(QStringLiteral("session")).toInt();
        if (kind == QLatin1String("batch") || kind == QLatin1String("rpc")) {
            QString text = entry.value(QStringLiteral("text")).toString();
            if (kind == QLatin1String("rpc")) {
                // The statement, then the values of its parameters: which
                // file a check reads is a parameter.
                text = entry.value(QStringLiteral("procedure")).toString();
                QStringList values;
                for (const QJsonValue parameter : entry.value(QStringLiteral("parameters")).toArray()) {
                    const QString name = parameter.toObject().value(QStringLiteral("name")).toString();
                    const QString value = parameter.toObject().value(QStringLiteral("value")).toVariant().toString();
                    if (name == QLatin1String("@statement"))
                        text = value;
                    else if (name != QLatin1String("@params"))
                        values.append(name + u'=' + value);
                }
                if (!values.isEmpty())
                    text += QStringLiteral(" -- ") + values.join(QStringLiteral(", "));
            }
            open.insert(session, requests.size());
            requests.push_back({text.simplified(), traceTime(entry), 0});
        } else if (kind == QLatin1String("end") && open.contains(session)) {
            requests[open.take(session)].endedMs = traceTime(entry);
        }
    }
    return requests;
}

// The same once every request has its end line: the server writes it after
// the reply has left, so a client can read the trace before it is there.
std::vector<Request> requestsSince(std::size_t from)
{
    QElapsedTimer waited;
    waited.start();
    while (true) {
        std::vector<Request> requests = tracedRequestsSince(from);
        const bool allEnded
            = std::all_of(requests.cbegin(), requests.cend(), [](const Request &r) { return r.endedMs != 0; });
        if (allEnded || waited.elapsed() > 2000)
            return requests;
        QThread::msleep(20);
    }
}

// The kind of statement, by what the restore sends: the chosen set's checks,
// the safety copy and its checks, the drop, the restore, and the questions
// about the server's databases and history.
QString statementKind(const QString &text)
{
    const bool copy = text.contains(QLatin1String("_before_restore_"));
    const QString suffix = copy ? QStringLiteral("_copy") : QStringLiteral("_set");
    if (text.startsWith(QLatin1String("RESTORE HEADERONLY"), Qt::CaseInsensitive))
        return QStringLiteral("headeronly") + suffix;
    if (text.startsWith(QLatin1String("RESTORE FILELISTONLY"), Qt::CaseInsensitive))
        return QStringLiteral("filelistonly") + suffix;
    if (text.startsWith(QLatin1String("RESTORE VERIFYONLY"), Qt::CaseInsensitive))
        return QStringLiteral("verifyonly") + suffix;
    if (text.startsWith(QLatin1String("BACKUP DATABASE"), Qt::CaseInsensitive))
        return QStringLiteral("backup_copy");
    if (text.contains(QLatin1String("DROP DATABASE"), Qt::CaseInsensitive))
        return QStringLiteral("drop");
    if (text.contains(QLatin1String("RESTORE DATABASE"), Qt::CaseInsensitive))
        return QStringLiteral("restore");
    return QStringLiteral("queries");
}

// When each modal window of the restore was shown and hidden, on the
// window's thread's clock.
class ModalTimes : public QObject {
public:
    explicit ModalTimes(const EventLoopStalls &clock)
        : m_clock(clock)
    {
        qApp->installEventFilter(this);
    }
    ~ModalTimes() override { qApp->removeEventFilter(this); }

    enum class Kind { FileDialog, MessageBox, OtherDialog };
    struct Span {
        const QWidget *window; // only told apart, never used: it is gone once closed
        Kind kind;
        qint64 shown = -1;
        qint64 hidden = -1;
    };
    const std::vector<Span> &spans() const { return m_spans; }

    // The first window of that kind shown, or nothing.
    const Span *first(Kind kind) const
    {
        for (const Span &span : m_spans)
            if (span.kind == kind)
                return &span;
        return nullptr;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show && event->type() != QEvent::Hide)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || !widget->isWindow() || widget->windowModality() == Qt::NonModal)
            return false;
        if (event->type() == QEvent::Show) {
            const Kind kind = qobject_cast<QFileDialog *>(widget) ? Kind::FileDialog
                : qobject_cast<QMessageBox *>(widget)             ? Kind::MessageBox
                                                                  : Kind::OtherDialog;
            m_spans.push_back({widget, kind, m_clock.elapsed(), -1});
        } else {
            // Only the span still open: a dialog shown twice has two.
            for (Span &span : m_spans)
                if (span.window == widget && span.hidden < 0)
                    span.hidden = m_clock.elapsed();
        }
        return false;
    }

private:
    const EventLoopStalls &m_clock;
    std::vector<Span> m_spans;
};

// Totals over the iterations, reported as averages.
struct Totals {
    double window = 0;
    double bare = 0;
    EventLoopStalls::Stall longestStall;
    QMap<QString, double> byKind; // seconds
    double outsideStatements = 0;
    double afterRestore = 0;
    // Window over bare, iteration by iteration: the median shrugs off a
    // bare restore slowed by whatever else the machine ran meanwhile.
    std::vector<double> ratios;
};

// Writes out what earlier restores left in memory and, for a cold start,
// drops the set's and the database's pages from the page cache, as after a
// reboot or a set copied in long ago; the rest of the machine's cache stays.
void settle(bool cold)
{
    ::sync();
    if (!cold)
        return;
    for (const QString &path : {g_backupFile, restoredFile("Data.mdf"), restoredFile("Data_Log.ldf")}) {
        const int fd = ::open(QFile::encodeName(QString(path).replace(u'\\', u'/')).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Warm: the set and the database as the page cache holds them after the
// last restore. Cold: both read from the disk.
void RestoreThroughTheWindowBesideBareRestore(benchmark::State &state)
{
    const bool cold = state.range(0) != 0;
    TFrmDBTools window;
    window.show();
    QTest::qWait(50);
    Totals totals;
    int iteration = 0;
    for (auto _ : state) {
        ++iteration;
        // Each restore starts with nothing of the last one still to be
        // written out, so neither pays for the other's writes.
        settle(cold);
        double bare = 0;
        try {
            const std::size_t bareFrom = g_server->traceLines().size();
            bare = bareRestore();
            totals.bare += bare;
            for (const Request &request : requestsSince(bareFrom))
                std::fprintf(stderr, "bare restore %d: %.3f s, of it %lld ms in the server\n", iteration, bare,
                             static_cast<long long>(request.endedMs - request.receivedMs));
        } catch (const std::exception &error) {
            state.SkipWithError(error.what());
            break;
        }
        window.RefreshDBList();
        window.DBLDBBackup->setCurrentIndex(window.DBLDBBackup->findText(kDatabase));
        if (window.DBLDBBackup->Text() != kDatabase) {
            state.SkipWithError("the window does not list the database");
            break;
        }

        ModalDialogDriver driver(600000);
        driver.ignoreWindow(&window);
        driver.pressButton(kYes);
        driver.handle([](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            dialog->setDirectory(QFileInfo(g_backupFile).absolutePath());
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(g_backupFile).fileName());
            static_cast<QDialog *>(dialog)->accept();
        });
        driver.pressButton(kYes);
        driver.pressEnter();

        settle(cold);
        EventLoopStalls stalls;
        const std::size_t traceFrom = g_server->traceLines().size();
        const qint64 epochAtStart = QDateTime::currentMSecsSinceEpoch();
        stalls.start();
        ModalTimes modals(stalls);
        QTest::mouseClick(window.BitBtn5, Qt::LeftButton);
        stalls.stop();
        if (!driver.failures().isEmpty() || !driver.allAnswered()) {
            state.SkipWithError(driver.failures().join(u'\n').toUtf8().constData());
            break;
        }

        // The restore runs from the file dialog's close to the closing
        // message, less the time the question waited for its answer.
        // The question and the closing message are both message boxes: the
        // first after the file dialog, and the last.
        const ModalTimes::Span *files = modals.first(ModalTimes::Kind::FileDialog);
        const ModalTimes::Span *question = nullptr;
        for (const ModalTimes::Span &span : modals.spans())
            if (files && !question && span.kind == ModalTimes::Kind::MessageBox && span.shown >= files->hidden)
                question = &span;
        const ModalTimes::Span &closing = modals.spans().back();
        if (!question || closing.shown < question->hidden) {
            state.SkipWithError("the restore did not show its dialogs in order");
            break;
        }
        const qint64 started = files->hidden;
        const qint64 ended = closing.shown;
        const qint64 answering = question->hidden - question->shown;
        const double windowSeconds = double(ended - started - answering) / 1000.0;
        totals.window += windowSeconds;
        totals.ratios.push_back(windowSeconds / bare);
        state.SetIterationTime(windowSeconds);
        if (!QFileInfo::exists(executableDirectory() + QStringLiteral("Data/Data.mdf")))
            state.SkipWithError("the restore left no database file");

        const EventLoopStalls::Stall longest = stalls.longestBetween(started, ended);
        if (longest.lengthMs > totals.longestStall.lengthMs)
            totals.longestStall = longest;

        // Where the time went, on the window's clock.
        const std::vector<Request> requests = requestsSince(traceFrom);
        std::fprintf(stderr, "restore %d: window %.3f s from the file dialog's close, longest stall %lld ms\n",
                     iteration, windowSeconds, static_cast<long long>(longest.lengthMs));
        std::fprintf(stderr, "  %9s %9s  %s\n", "start ms", "took ms", "statement");
        double inStatements = 0;
        qint64 lastEnded = 0;
        for (const Request &request : requests) {
            const qint64 from = request.receivedMs - epochAtStart - started;
            const qint64 took = request.endedMs - request.receivedMs;
            if (from < -10)
                continue; // before the file dialog closed: the window's own lists
            std::fprintf(stderr, "  %9lld %9lld  %s\n", static_cast<long long>(from), static_cast<long long>(took),
                         qPrintable(request.text.left(150)));
            const QString kind = statementKind(request.text);
            totals.byKind[kind] += double(took) / 1000.0;
            inStatements += double(took) / 1000.0;
            lastEnded = std::max(lastEnded, request.endedMs - epochAtStart);
        }
        totals.outsideStatements += windowSeconds - inStatements;
        totals.afterRestore += double(ended - lastEnded) / 1000.0;
        for (const EventLoopStalls::Stall &stall : stalls.stalls())
            if (stall.endedMs > started && stall.endedMs - stall.lengthMs < ended)
                std::fprintf(stderr,
                             "  stall %lld ms ending at %lld ms: %lld ms on the processor, %lld ms waiting for it, "
                             "%lld ms taken by the host; %s\n",
                             static_cast<long long>(stall.lengthMs), static_cast<long long>(stall.endedMs - started),
                             static_cast<long long>(stall.onCpuMs), static_cast<long long>(stall.waitingForCpuMs),
                             static_cast<long long>(stall.stolenMs), qPrintable(stall.samples));
    }
    if (iteration == 0)
        return;
    const auto average = [&](double total) { return total / iteration; };
    state.counters["window_s"] = average(totals.window);
    state.counters["bare_s"] = average(totals.bare);
    state.counters["ratio"] = totals.bare > 0 ? totals.window / totals.bare : 0;
    std::sort(totals.ratios.begin(), totals.ratios.end());
    state.counters["ratio_median"] = totals.ratios.empty() ? 0 : totals.ratios[totals.ratios.size() / 2];
    // Whether the longest stall was the thread's own work or a processor
    // taken by others (the server's threads on the same machine).
    state.counters["longest_stall_ms"] = double(totals.longestStall.lengthMs);
    state.counters["longest_stall_on_cpu_ms"] = double(totals.longestStall.onCpuMs);
    state.counters["longest_stall_waiting_cpu_ms"] = double(totals.longestStall.waitingForCpuMs);
    state.counters["longest_stall_stolen_ms"] = double(totals.longestStall.stolenMs);
    for (auto it = totals.byKind.cbegin(); it != totals.byKind.cend(); ++it)
        state.counters[(it.key() + QStringLiteral("_s")).toStdString()] = average(it.value());
    state.counters["outside_statements_s"] = average(totals.outsideStatements);
    state.counters["after_last_statement_s"] = average(totals.afterRestore);
}
BENCHMARK(RestoreThroughTheWindowBesideBareRestore)
    ->ArgName("cold")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// What the restore leaves beside the executable, all of it the benchmark's
// own: the settings, the journal, the batch records and the restored files.
void removeRestoreLeftovers()
{
    for (const char *name : {"InitPrg.ini", "Create.txt", "Restore.txt", "RestoreJournal.json"})
        QFile::remove(executableDirectory() + QLatin1String(name));
    QDir(executableDirectory() + QStringLiteral("Data")).removeRecursively();
}

} // namespace

int main(int argc, char **argv)
{
    const auto app = makeBenchApplication(argc, argv);
    if (QFileInfo::exists(settingsFilePath(Settings::kFileName))
        || QFileInfo::exists(executableDirectory() + QStringLiteral("Data"))) {
        std::fprintf(stderr, "settings or a Data folder are already beside the benchmark: not mine to replace\n");
        return 1;
    }
    const std::unique_ptr<KerberosRealm> realm = startDefaultInstanceRealm();
    if (!realm)
        return 1;
    QTemporaryDir data;
    QTemporaryDir backups;
    SqlemuOptions options = realm->serverOptions(1433);
    options.saPassword = "Secret1";
    options.dataDir = data.path().toStdString();
    SqlemuProcess server(options);
    if (!server.start()) {
        std::fprintf(stderr, "sqlemu did not start: %s\n", server.error().c_str());
        return 1;
    }
    g_server = &server;
    FreeTdsSession::initializeLibrary();
    if (!makeAttachedDatabase(data.path(), kDatabase, kDatabaseMegabytes, saConnectionString(),
                              QStringLiteral("Data_Data"), QStringLiteral("Data_log")))
        return 1;
    g_backupFile = backups.filePath(kDatabase + QStringLiteral(".Bak"));
    backUpWithTsql(kDatabase, g_backupFile, QStringLiteral("Secret1"));
    if (QFileInfo(g_backupFile).size() == 0) {
        std::fprintf(stderr, "tsql wrote no backup\n");
        return 1;
    }
    QDir().mkpath(executableDirectory() + QStringLiteral("Data"));
    {
        ProfileFile settings(settingsFilePath(Settings::kFileName));
        settings.writeString(Settings::kSection, Settings::kServer, QStringLiteral("."));
        settings.writeString(Settings::kSection, Settings::kType, Settings::kTypeWindows);
        settings.writeString(Settings::kSection, Settings::kDataBaseName, kDatabase);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    server.stop();
    removeRestoreLeftovers();
    return 0;
}
