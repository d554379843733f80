// The maintenance window on a real X server, each tab as a person sees it:
// the database list open beside its box, reading right to left, and the
// gauge part way. With MOVAN_SCREENSHOT_DIR set the screen is saved there.
#include "maintenance_window_fixture.h"
#include "widgets/edit/lookup_list_source.h"
#include "widgets/edit/mov_db_lookup_combo_box.h"
#include "widgets/gauge/gauge.h"

#include <QAbstractItemView>
#include <QDir>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

using namespace movan;

namespace {

void saveScreen(const QString &name)
{
    const QString dir = qEnvironmentVariable("MOVAN_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        QGuiApplication::primaryScreen()->grabWindow(0).save(QDir(dir).filePath(name));
}

using MaintenanceWindowOnX11 = MaintenanceWindowTest;

TEST_F(MaintenanceWindowOnX11, ListOpensRightToLeftUnderItsBox)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    writeSettings(QStringLiteral("Tarnel"));
    withWindow([](TFrmDBTools &w) {
        w.activateWindow();
        w.Gauge1->setProgress(45);
        w.DBLDBBackup->setFocus();
        w.DBLDBBackup->showPopup();
        QWidget *list = w.DBLDBBackup->view()->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
        QTest::qWait(200);
        EXPECT_EQ(list->layoutDirection(), Qt::RightToLeft);
        EXPECT_EQ(w.DBLDBBackup->view()->layoutDirection(), Qt::RightToLeft);
        // Right-aligned under the box, as the box reads.
        const QRect box(w.DBLDBBackup->mapToGlobal(QPoint(0, 0)), w.DBLDBBackup->size());
        EXPECT_NEAR(list->frameGeometry().right(), box.right(), 2);
        saveScreen(QStringLiteral("maintenance-backup-tab.png"));
        w.DBLDBBackup->hidePopup();

        w.PageControl1->setCurrentWidget(w.TabSheet1);
        QTest::qWait(200);
        saveScreen(QStringLiteral("maintenance-database-tab.png"));
    });
}

} // namespace
