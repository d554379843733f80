// Both windows and the dialogs they open as assistive technology meets them:
// every control named, the windows and notices announced for what they are,
// the gauge telling its value while a backup runs, and the setup window's
// tab stop on the chosen authentication.
#include "backup_restore_fixture.h"
#include "setup/frm_sql_setup.h"
#include "ui/message_dialog.h"
#include "widgets/busy/mov_busy.h"
#include "widgets/busy/mov_sf_busy.h"
#include "widgets/edit/mov_edit_box.h"
#include "widgets/gauge/gauge.h"

#include "support/accessible_controls.h"

#include <QAccessibleValueInterface>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>

#include <algorithm>

using namespace movan;

namespace {

using Accessibility = BackupRestoreTest;

QAccessibleInterface *accessible(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object);
}

// Collects what a dialog shows a screen reader before the driver answers it.
struct DialogAudit {
    QStringList unnamed;
    QList<QAccessible::Role> roles;
    void operator()(QWidget *modal)
    {
        for (const QString &control : unnamedControls(modal))
            unnamed.append(modal->objectName() + QStringLiteral(": ") + control);
        roles.append(accessible(modal)->role());
    }
};

TEST_F(Accessibility, EveryControlOfBothWindowsAndTheirDialogsHasAName)
{
    TFrmSQLSetup setup;
    setup.show();
    EXPECT_EQ(accessible(&setup)->role(), QAccessible::Window);
    EXPECT_EQ(accessible(&setup)->text(QAccessible::Name), QStringLiteral("Movan Config DataBase 4.0"));
    EXPECT_EQ(unnamedControls(&setup).join(u'\n').toStdString(), "");

    DialogAudit audit;
    ModalDialogDriver driver;
    driver.setBeforeAnswer(std::ref(audit));
    QTemporaryDir folder;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        EXPECT_EQ(accessible(&w)->role(), QAccessible::Dialog);
        EXPECT_FALSE(accessible(&w)->text(QAccessible::Name).isEmpty());
        EXPECT_EQ(unnamedControls(&w).join(u'\n').toStdString(), "");

        // The save dialog, the busy window and the notice of a backup.
        backUp(w, QStringLiteral("Archive"), folder.filePath(QStringLiteral("a.Bak")), driver);
        // The restore's warning, its open dialog (left without a file) and
        // the notice that asks for one.
        driver.pressButton(QStringLiteral("بلي"));
        driver.handle([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
        driver.pressEnter();
        QTest::mouseClick(w.BitBtn5, Qt::LeftButton);

        w.MovBusy1->Show();
        ASSERT_NE(w.MovBusy1->form(), nullptr);
        EXPECT_EQ(unnamedControls(w.MovBusy1->form()).join(u'\n').toStdString(), "");
        w.MovBusy1->Hide();
    });
    driver.pressEnter();
    ShowMessageDialogWithDetails(QString(), QStringLiteral("خطا در اتصال"), QStringLiteral("Login failed."), mbOK,
                                 mtError);

    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
    EXPECT_EQ(audit.unnamed.join(u'\n').toStdString(), "");
    // Save dialog, backup notice, warning, open dialog, notice, the last notice.
    ASSERT_EQ(audit.roles.size(), 6);
    for (int notice : {1, 2, 4, 5})
        EXPECT_EQ(audit.roles[notice], QAccessible::AlertMessage) << notice;
    for (int fileDialog : {0, 3})
        EXPECT_EQ(audit.roles[fileDialog], QAccessible::Dialog) << fileDialog;
}

TEST_F(Accessibility, NoticesTellTheirKindWhetherOrNotTheyHaveACaption)
{
    struct Case {
        QString caption;
        quint8 kind;
        QString name;
        QString description;
    };
    const Case cases[] = {
        {QString(), mtError, QStringLiteral("خطا"), QStringLiteral("خطا")},
        {QStringLiteral("توجه"), mtWarning, QStringLiteral("توجه"), QStringLiteral("هشدار")},
    };
    for (const Case &c : cases) {
        ModalDialogDriver driver;
        QString name, description;
        QAccessible::Role role = QAccessible::NoRole;
        driver.handle([&](QWidget *modal) {
            role = accessible(modal)->role();
            name = accessible(modal)->text(QAccessible::Name);
            description = accessible(modal)->text(QAccessible::Description);
            modal->close();
        });
        ShowMessageDialog(c.caption, QStringLiteral("پيغام"), mbOK, c.kind);
        EXPECT_EQ(role, QAccessible::AlertMessage);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(description, c.description);
    }
}

// Read the way a screen reader reads it, each time the gauge shows a new
// value while the server works: the value, the range and the percentage.
class GaugeReader : public QObject {
public:
    explicit GaugeReader(TGauge *gauge)
        : m_gauge(gauge)
    {
        gauge->installEventFilter(this);
    }
    QList<int> values;
    QStringList texts;
    // The values read while the server worked; the window may also repaint
    // the gauge before or after, for reasons of its own.
    QList<int> valuesDuringTheCall;
    // What else a test looks at each time.
    std::function<void()> alsoOnPaint;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_gauge && event->type() == QEvent::Paint) {
            if (alsoOnPaint)
                alsoOnPaint();
            QAccessibleInterface *iface = accessible(m_gauge);
            values.append(iface->valueInterface()->currentValue().toInt());
            texts.append(iface->text(QAccessible::Value));
            if (blockingCallRunning())
                valuesDuringTheCall.append(values.last());
        }
        return false;
    }

private:
    TGauge *m_gauge;
};

TEST_F(Accessibility, GaugeReportsItsValueDuringABackup)
{
    QString name;
    QList<int> values;
    QStringList texts;
    QList<int> duringTheCall;
    QTemporaryDir folder;
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        QAccessibleInterface *iface = accessible(w.Gauge1);
        ASSERT_NE(iface->valueInterface(), nullptr);
        EXPECT_EQ(iface->role(), QAccessible::ProgressBar);
        name = iface->text(QAccessible::Name);
        GaugeReader reader(w.Gauge1);
        backUp(w, QStringLiteral("Tarnel"), folder.filePath(QStringLiteral("t.Bak")), driver);
        values = reader.values;
        texts = reader.texts;
        duringTheCall = reader.valuesDuringTheCall;
        EXPECT_EQ(iface->valueInterface()->maximumValue().toInt(), w.Gauge1->MaxValue());
    });
    EXPECT_EQ(name, QStringLiteral("وضعيت :"));
    ASSERT_FALSE(values.isEmpty()) << "the gauge never showed a value";
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    for (int percent : {10, 50, 90, 100})
        EXPECT_TRUE(duringTheCall.contains(percent)) << percent << " not read while the server worked";
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(texts[i], QStringLiteral("%1%").arg(values[i]));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// The busy indicator keeps its message between operations; a backup after a
// restore attempt (which left its own text there) says it is backing up.
TEST_F(Accessibility, BusyWindowOfABackupSaysBackupAfterARestore)
{
    const QString restoring = QStringLiteral("در حال بازگرداندن اطلاعات ...");
    QStringList shownWhileRunning;
    QTemporaryDir folder;
    ModalDialogDriver driver;
    withWindow([&](TFrmDBTools &w) {
        driver.ignoreWindow(&w);
        w.MovBusy1->setMessage1(restoring);
        GaugeReader reader(w.Gauge1);
        reader.alsoOnPaint = [&] {
            if (TMovsfBusy *busy = w.MovBusy1->form(); busy && busy->isVisible() && blockingCallRunning())
                shownWhileRunning.append(busy->lblMessage1->text());
        };
        backUp(w, QStringLiteral("Tarnel"), folder.filePath(QStringLiteral("b.Bak")), driver);
    });
    ASSERT_FALSE(shownWhileRunning.isEmpty()) << "the busy window showed no message";
    for (const QString &text : shownWhileRunning)
        EXPECT_EQ(text, QStringLiteral("در حال تهيه نسخه پشتيبان ..."));
    EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join(u'\n').toStdString();
}

// Tab lands on the chosen authentication, whichever it is; the other one is
// reached with the arrow keys, which also choose it.
TEST_F(Accessibility, TabLandsOnTheCheckedAuthenticationChoice)
{
    TFrmSQLSetup setup;
    setup.show();
    setup.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&setup));
    for (QRadioButton *chosen : {setup.rgSql, setup.rgWindows}) {
        chosen->setChecked(true);
        setup.PageControl1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), chosen) << chosen->objectName().toStdString();
    }
    // From Windows authentication the down arrow moves to, and chooses, SQL Server authentication.
    QTest::keyClick(setup.rgWindows, Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), setup.rgSql);
    EXPECT_TRUE(setup.rgSql->isChecked());
    QTest::keyClick(setup.rgSql, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget *>(setup.EdtLogName));
}

} // namespace
