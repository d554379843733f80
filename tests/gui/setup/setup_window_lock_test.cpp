// Confirming while another program holds the settings file's lock: the
// window goes on painting under the wait cursor, says what it waits for, and
// lets the user give up, which leaves the file as it was and tests nothing;
// once the lock is let go the save goes on by itself.
#include "settings/data_module.h"
#include "setup_window_fixture.h"
#include "widgets/edit/mov_edit_box.h"

#include "support/paint_counter.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace movan;

namespace movan::test {
namespace {

// The changed database does not exist: the test of the saved settings fails
// and offers the attach, which is declined.
const QString kOfferStart = QStringLiteral("خطا در اتصال با بانک اطلاعاتي ...");

// Another program that holds the file's lock until it is ended (its sleeping
// child does not share the lock, so killing the holder lets it go).
class LockHolder {
public:
    explicit LockHolder(const QString &path)
    {
        m_process.start(
            QStringLiteral("flock"),
            {QStringLiteral("-x"), QStringLiteral("-o"), path, QStringLiteral("sleep"), QStringLiteral("60")});
        m_started = m_process.waitForStarted();
        // flock has the lock once its child runs.
        QTest::qWait(300);
    }
    ~LockHolder() { release(); }
    bool started() const { return m_started; }
    void release()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

private:
    QProcess m_process;
    bool m_started = false;
};

using SetupWindowLock = SetupWindowTest;

TEST_F(SetupWindowLock, TheWindowPaintsWhileTheSaveWaitsAndTheUserMayGiveUp)
{
    writeServerSettings(QStringLiteral("master"));
    const QByteArray before = settingsBytes();
    auto form = showWindow();
    form->EdtDataBaseName->setText(QStringLiteral("Changed"));
    newBatches();
    PaintCounter counter;
    form->installEventFilter(&counter);

    for (const bool giveUp : {true, false}) {
        SCOPED_TRACE(giveUp ? "given up" : "lock let go");
        LockHolder holder(settingsPath());
        ASSERT_TRUE(holder.started()) << "flock (util-linux) is needed";
        int paintsWhileWaiting = 0;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        QString said;
        driver.handle([&](QWidget *modal) {
            EXPECT_EQ(modal->objectName(), QStringLiteral("CancellableWait"));
            if (auto *text = modal->findChild<QLabel *>(QStringLiteral("Message")))
                said = text->text();
            if (QApplication::overrideCursor())
                cursor = QApplication::overrideCursor()->shape();
            const int paintsBefore = counter.paints;
            form->update();
            QTest::qWait(200);
            paintsWhileWaiting = counter.paints - paintsBefore;
            if (giveUp)
                modal->findChild<QPushButton *>(QStringLiteral("GiveUp"))->click();
            else
                holder.release();
            // It closes by itself once the save has the lock.
            EXPECT_TRUE(QTest::qWaitFor([modal] { return !modal->isVisible(); }, 5000));
        });
        if (!giveUp)
            driver.pressButton(QStringLiteral("خير"));
        QTest::mouseClick(form->BitBtn1, Qt::LeftButton);
        EXPECT_TRUE(driver.allAnswered());
        EXPECT_GT(paintsWhileWaiting, 0);
        EXPECT_TRUE(cursor == Qt::WaitCursor || cursor == Qt::BusyCursor) << int(cursor);
        EXPECT_TRUE(said.contains(QStringLiteral("InitPrg.ini"))) << said.toStdString();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(DMMain, nullptr);
        if (giveUp) {
            EXPECT_EQ(settingsBytes(), before);
            EXPECT_TRUE(newBatches().isEmpty()) << "a given-up save tests nothing";
            EXPECT_EQ(driver.shown().size(), 1) << driver.last().text.toStdString();
            EXPECT_TRUE(form->isVisible());
        } else {
            EXPECT_EQ(setting(QStringLiteral("DataBaseName")), QStringLiteral("Changed"));
            EXPECT_TRUE(driver.last().text.startsWith(kOfferStart)) << driver.last().text.toStdString();
        }
    }
}

} // namespace
} // namespace movan::test
