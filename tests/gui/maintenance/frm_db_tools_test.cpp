// The maintenance window: what it shows first, its database list and its
// filter, a list that cannot be read, the log shrink, the installation
// repair's notices, and a close request while a statement runs.
#include "maintenance_window_fixture.h"
#include "platform/executable_path.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/edit/lookup_list_source.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"
#include "widgets/gauge/gauge.h"

#include "support/modal_dialog_driver.h"
#include "support/qt_printers.h"
#include "support/tool_batches.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <algorithm>

using namespace movan;

namespace {

const QString kShrinkWaiting = QStringLiteral("لطفا شکيبا باشيد ...");
const QString kShrinkDone = QStringLiteral("حجم لاگ کاهش يافت");
const QString kShrinkFailed = QStringLiteral("خطا در کاهش حجم لاگ ...");
const QStringList kAllDatabases{"master", "tempdb", "model", "msdb", "Tarnel", "Movan_Sales", "Qelnat1404", "Archive"};
const QStringList kMovanDatabases{"Tarnel", "Movan_Sales", "Qelnat1404"};

QStringList listed(const TMovDBLookupComboBox *box)
{
    QStringList names;
    for (int row = 0; row < box->count(); ++row)
        names.append(box->itemText(row));
    return names;
}

// The batches on the database catalogue the server received, in order.
QStringList catalogueBatches(const SqlemuProcess &server)
{
    QStringList batches;
    for (const std::string &line : server.traceLines()) {
        const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const QString text = entry.value(QStringLiteral("text")).toString();
        if (entry.value(QStringLiteral("kind")).toString() == u"batch" && text.contains(QStringLiteral("sysdatabases")))
            batches.append(text);
    }
    return batches;
}

// The text and colour of a label each time it was painted.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QLabel *label)
        : m_label(label)
    {
        label->installEventFilter(this);
    }
    QList<std::pair<QString, QColor>> paints;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_label && event->type() == QEvent::Paint)
            paints.append({m_label->text(), m_label->palette().color(QPalette::WindowText)});
        return false;
    }

private:
    QLabel *m_label;
};

using MaintenanceWindow = MaintenanceWindowTest;

TEST_F(MaintenanceWindow, FirstShowListsEveryDatabaseOnTheBackupTab)
{
    withWindow([](TFrmDBTools &w) {
        EXPECT_EQ(w.layoutDirection(), Qt::RightToLeft);
        EXPECT_EQ(w.minimumSize(), w.maximumSize());
        EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_EQ(w.PageControl1->currentWidget(), w.TabSheet2);
        // Without InitPrg.ini the configured database is "Tarnel".
        EXPECT_EQ(w.lbDataBaseName->text(), QStringLiteral("Tarnel"));
        EXPECT_FALSE(w.dbcDataList->isChecked());
        EXPECT_EQ(listed(w.DBLDBBackup), kAllDatabases);
        EXPECT_EQ(w.DBLDBBackup->currentIndex(), -1);
        EXPECT_TRUE(w.DBLDBBackup->Text().isEmpty());
        EXPECT_EQ(w.Gauge1->width(), w.TabSheet2->width());
        EXPECT_EQ(w.Gauge1->Progress(), 0);
        EXPECT_FALSE(w.lbMessage_Compress->isVisibleTo(&w));
        EXPECT_EQ(w.MovBusy1->AVISource()->FileName(), executableDirectory() + QStringLiteral("DataLR.avi"));
    });
}

TEST_F(MaintenanceWindow, FilterAddsItsConditionOnceEachTime)
{
    writeSettings(QStringLiteral("Movan_Sales"));
    const qsizetype before = catalogueBatches(*s_server).size();
    withWindow([](TFrmDBTools &w) {
        EXPECT_EQ(w.lbDataBaseName->text(), QStringLiteral("Movan_Sales"));
        const QStringList expected[] = {kMovanDatabases, kAllDatabases, kMovanDatabases};
        for (const QStringList &names : expected) {
            QTest::mouseClick(w.dbcDataList, Qt::LeftButton, {},
                              QPoint(w.dbcDataList->width() - 6, w.dbcDataList->height() / 2));
            EXPECT_EQ(listed(w.DBLDBBackup), names);
        }
    });
    const QString plain = QString::fromStdString(sqlemu::test::kDatabaseListBatch);
    const QString filtered = QString::fromStdString(sqlemu::test::kFilteredDatabaseListBatch);
    EXPECT_EQ(catalogueBatches(*s_server).mid(before), (QStringList{plain, filtered, plain, filtered}));
}

TEST_F(MaintenanceWindow, LogShrinkPaintsItsWaitThenItsOutcomeEachTime)
{
    writeSettings(QStringLiteral("Tarnel"));
    openSharedConnection();
    withWindow([](TFrmDBTools &w) {
        w.PageControl1->setCurrentWidget(w.TabSheet1);
        PaintRecorder recorder(w.lbMessage_Compress);
        for (int run = 0; run < 2; ++run) {
            recorder.paints.clear();
            QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
            ASSERT_FALSE(recorder.paints.isEmpty());
            EXPECT_EQ(recorder.paints.front(), std::make_pair(kShrinkWaiting, QColor(Qt::black))) << "run " << run;
            EXPECT_EQ(recorder.paints.back(), std::make_pair(kShrinkDone, QColor(0, 128, 0))) << "run " << run;
        }
    });
    // The name travels as a parameter, never inside the text.
    const std::vector<std::string> trace = s_server->traceLines();
    // The last request, not the line that says it ended.
    const auto request = std::find_if(trace.rbegin(), trace.rend(), [](const std::string &line) {
        return line.find("\"kind\":\"end\"") == std::string::npos;
    });
    ASSERT_NE(request, trace.rend());
    const QJsonObject last = QJsonDocument::fromJson(QByteArray::fromStdString(*request)).object();
    EXPECT_EQ(last.value(QStringLiteral("kind")).toString(), QStringLiteral("rpc"));
    const QString sent = QString::fromUtf8(QJsonDocument(last).toJson(QJsonDocument::Compact));
    EXPECT_TRUE(sent.contains(QStringLiteral("\"value\":\"Tarnel\""))) << sent.toStdString();
    EXPECT_TRUE(sent.contains(QStringLiteral("Set @DataBase = @P1"))) << sent.toStdString();
}

TEST_F(MaintenanceWindow, LogShrinkOfAnUnknownDatabaseEndsRed)
{
    writeSettings(QStringLiteral("Tarnel"));
    openSharedConnection();
    writeSettings(QStringLiteral("NoSuchDataBase"));
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        PaintRecorder recorder(w.lbMessage_Compress);
        w.PageControl1->setCurrentWidget(w.TabSheet1);
        for (int run = 0; run < 2; ++run) {
            recorder.paints.clear();
            // The red line first, then why in a notice.
            driver.handle([&](QWidget *modal) {
                EXPECT_FALSE(recorder.paints.isEmpty());
                if (!recorder.paints.isEmpty()) {
                    EXPECT_EQ(recorder.paints.back(), std::make_pair(kShrinkFailed, QColor(255, 0, 0)));
                }
                modal->close();
            });
            QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
            EXPECT_TRUE(driver.allAnswered());
            ASSERT_FALSE(recorder.paints.isEmpty());
            EXPECT_EQ(recorder.paints.front(), std::make_pair(kShrinkWaiting, QColor(Qt::black)));
            EXPECT_EQ(recorder.paints.back(), std::make_pair(kShrinkFailed, QColor(255, 0, 0)));
            EXPECT_TRUE(driver.last().text.startsWith(kShrinkFailed + u'\n')) << driver.last().text.toStdString();
            EXPECT_TRUE(driver.last().details.contains(QStringLiteral("NoSuchDataBase")))
                << driver.last().details.toStdString();
        }
    });
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

TEST_F(MaintenanceWindow, CloseRequestWaitsForTheRunningStatement)
{
    writeSettings(QStringLiteral("Tarnel"));
    openSharedConnection();
    withWindow([](TFrmDBTools &w) {
        w.PageControl1->setCurrentWidget(w.TabSheet1);
        // The first shrink asks the server's version and picks its batch;
        // the next runs a statement that takes a second instead.
        QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
        ASSERT_EQ(w.lbMessage_Compress->text(), kShrinkDone);
        w.qrCompressDB->setSqlLines({QStringLiteral("Declare @DataBase Varchar(50) Set @DataBase = :Ar_DataBase"),
                                     QStringLiteral("EXEC sqlemu_test_progress @seconds = 1")});
        QPointer<TFrmDBTools> window(&w);
        bool visibleAfterRequest = false;
        // The close box or Alt+F4 while the server works.
        QTimer::singleShot(300, [&] {
            window->close();
            visibleAfterRequest = window && window->isVisible();
        });
        QTest::mouseClick(w.BitBtn6, Qt::LeftButton);
        EXPECT_TRUE(visibleAfterRequest);
        ASSERT_TRUE(window);
        EXPECT_EQ(w.lbMessage_Compress->text(), kShrinkDone);
        // Once the handler is over, the request is carried out.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window || !window->isVisible(); }, 5000));
    });
}

TEST_F(MaintenanceWindow, RepairReportsWhetherItRemovedTheValue)
{
    QTemporaryDir prefix;
    const QByteArray hive = "WINE REGISTRY Version 2\n\n"
                            "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager] 1796642912\n"
                            "\"PendingFileRenameOperations\"=str(7):\"\\\\??\\\\C:\\\\a.tmp\\0\\0\"\n";
    QFile file(prefix.filePath(QStringLiteral("system.reg")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(hive);
    file.close();
    const QByteArray previous = qgetenv("WINEPREFIX");
    const QString removed = QStringLiteral("SQL به صورت کامل حذف شد.");
    const QString notRemoved = QStringLiteral("خطا در حذف کليد ...");

    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        w.PageControl1->setCurrentWidget(w.TabSheet1);
        const struct {
            QString prefix;
            QString notice;
            DialogIcon icon;
        } runs[] = {
            {prefix.path(), removed, DialogIcon::Information},
            {prefix.path(), notRemoved, DialogIcon::Error}, // the value is gone now
            // No prefix: nothing could be removed, and the notice says so.
            {prefix.filePath(QStringLiteral("missing")), notRemoved, DialogIcon::Error},
        };
        for (const auto &run : runs) {
            qputenv("WINEPREFIX", QFile::encodeName(run.prefix));
            driver.pressEnter();
            QTest::mouseClick(w.BitBtn2, Qt::LeftButton);
            EXPECT_EQ(driver.last().text, run.notice);
            EXPECT_EQ(driver.last().icon, run.icon);
            EXPECT_TRUE(driver.last().caption.isEmpty());
        }
    });
    qputenv("WINEPREFIX", previous);
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// Closes every default error report as it comes up and keeps its text. The
// maintenance window itself is modal too, and is left alone.
class ErrorReportCloser : public QObject {
public:
    ErrorReportCloser()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal->isVisible() && modal->objectName() == u"ErrorReport") {
                texts.append(ModalDialogDriver::describe(modal).text);
                modal->close();
            }
        });
        m_poll.start(20);
    }
    QStringList texts;

private:
    QTimer m_poll;
};

// Kept last: it stops the server, and starts it again at the end.
TEST_F(MaintenanceWindow, UnreadableListIsReportedAndTheWindowStaysUsable)
{
    s_server->stop();
    if (!loopbackPortIsFree(1433, SOCK_STREAM))
        GTEST_FAIL() << "another server took TCP 1433 while the test stopped its own";
    ErrorReportCloser reports;
    withWindow([&](TFrmDBTools &w) {
        ASSERT_EQ(reports.texts.size(), 1);
        EXPECT_EQ(w.DBLDBBackup->count(), 0);
        // The show ended at the list: the busy indicator got no clip.
        EXPECT_TRUE(w.MovBusy1->AVISource()->FileName().isEmpty());
        QTest::mouseClick(w.dbcDataList, Qt::LeftButton, {},
                          QPoint(w.dbcDataList->width() - 6, w.dbcDataList->height() / 2));
        EXPECT_EQ(reports.texts.size(), 2);
        EXPECT_TRUE(w.dbcDataList->isChecked());
        EXPECT_EQ(w.DBLDBBackup->count(), 0);
    });
    for (const QString &text : reports.texts)
        EXPECT_FALSE(text.isEmpty());
    delete s_server;
    ASSERT_TRUE(startServer());
}

} // namespace
