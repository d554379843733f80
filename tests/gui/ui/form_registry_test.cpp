#include "ui/form_registry.h"

#include "support/modal_dialog_driver.h"

#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace movan;

namespace {

int g_alive = 0;
int g_made = 0;
bool g_wasModal = false;

class ProbeDialog : public QDialog {
public:
    ProbeDialog()
    {
        ++g_alive;
        ++g_made;
        setObjectName("ProbeDialog");
    }
    ~ProbeDialog() override { --g_alive; }
};

class ThrowingDialog : public ProbeDialog {
public:
    int exec() override { throw std::runtime_error("showing failed"); }
};

// A plain window, not a dialog, still runs modally.
class ProbeWindow : public QWidget {
public:
    ProbeWindow()
    {
        ++g_alive;
        ++g_made;
        setObjectName("ProbeWindow");
    }
    ~ProbeWindow() override { --g_alive; }
};

class FormRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_alive = g_made = 0;
        g_wasModal = false;
    }
    void TearDown() override
    {
        unregisterFormClass("TProbe");
        EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join("; ").toStdString();
    }
    ModalDialogDriver driver;
};

TEST_F(FormRegistryTest, RegisteredDialogIsShownModallyAndDestroyed)
{
    registerFormClass<ProbeDialog>("TProbe");
    driver.handle([](QWidget *modal) {
        g_wasModal = modal->objectName() == "ProbeDialog" && modal->isModal();
        modal->close();
    });
    ShowFormByClassName("TProbe");
    EXPECT_TRUE(g_wasModal);
    EXPECT_EQ(g_made, 1);
    EXPECT_EQ(g_alive, 0);
}

TEST_F(FormRegistryTest, PlainWindowBlocksUntilClosedAndIsDestroyed)
{
    registerFormClass<ProbeWindow>("TProbe");
    driver.handle([](QWidget *modal) {
        g_wasModal = modal->objectName() == "ProbeWindow" && modal->windowModality() == Qt::ApplicationModal;
        modal->close();
    });
    ShowFormByClassName("TProbe");
    EXPECT_TRUE(g_wasModal);
    EXPECT_EQ(g_alive, 0);
}

TEST_F(FormRegistryTest, MinimisingAPlainWindowDoesNotEndIt)
{
    registerFormClass<ProbeWindow>("TProbe");
    bool closedByTheTest = false;
    driver.handle([&](QWidget *modal) {
        QPointer<QWidget> window = modal;
        modal->showMinimized();
        QTimer::singleShot(300, qApp, [&closedByTheTest, window] {
            closedByTheTest = true;
            if (window)
                window->close();
        });
    });
    ShowFormByClassName("TProbe");
    EXPECT_TRUE(closedByTheTest);
    EXPECT_EQ(g_alive, 0);
    QTest::qWait(350);
}

TEST_F(FormRegistryTest, WindowIsDestroyedWhenShowingItThrows)
{
    registerFormClass<ThrowingDialog>("TProbe");
    EXPECT_THROW(ShowFormByClassName("TProbe"), std::runtime_error);
    EXPECT_EQ(g_made, 1);
    EXPECT_EQ(g_alive, 0);
}

TEST_F(FormRegistryTest, UnknownNameShowsClassNotFound)
{
    driver.pressButton("تاييد");
    ShowFormByClassName("TFrmNowhere");
    ASSERT_EQ(driver.shown().size(), 1);
    const ShownDialog shown = driver.last();
    EXPECT_EQ(shown.caption, QStringLiteral("خطاي سيستمي"));
    EXPECT_EQ(shown.text, QStringLiteral("كلاس پيدا نشد !"));
    EXPECT_EQ(shown.buttons, QStringList({"تاييد"}));
    EXPECT_EQ(shown.icon, DialogIcon::Warning);
    EXPECT_EQ(g_made, 0);
}

TEST_F(FormRegistryTest, ClassNamesIgnoreCaseAsPascalIdentifiersDo)
{
    registerFormClass<ProbeDialog>("TProbe");
    driver.closeBox();
    ShowFormByClassName("tprobe");
    EXPECT_EQ(g_made, 1);
    EXPECT_EQ(g_alive, 0);
}

} // namespace
