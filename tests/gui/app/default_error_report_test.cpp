#include "app/movan_application.h"
#include "platform/app_error.h"
#include "ui/application_shell.h"
#include "ui/message_dialog.h"

#include "support/modal_dialog_driver.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace movan;

namespace {

class DefaultErrorReport : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(driver.failures().isEmpty()) << driver.failures().join("; ").toStdString(); }
    ModalDialogDriver driver;
};

TEST_F(DefaultErrorReport, EscapedExceptionIsShownAndTheProgramGoesOn)
{
    QPushButton button("go");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        if (clicks == 1)
            throw AppError(QStringLiteral("خطا در باز کردن فهرست بانک ها"));
    });
    button.show();
    driver.pressButton(QStringLiteral("تاييد"));
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(driver.shown().size(), 1);
    const ShownDialog shown = driver.last();
    EXPECT_EQ(shown.objectName, QStringLiteral("ErrorReport"));
    EXPECT_EQ(shown.text, QStringLiteral("خطا در باز کردن فهرست بانک ها"));
    EXPECT_TRUE(shown.details.isEmpty()) << "a Persian message needs nothing beside it";
    EXPECT_EQ(shown.caption, QStringLiteral("خطا"));
    EXPECT_EQ(shown.icon, DialogIcon::Error);
    EXPECT_EQ(shown.direction, Qt::RightToLeft);
    // The same window still handles its events.
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(driver.shown().size(), 1);
}

// An English failure is told in Persian; its own words stay in the details,
// read left to right.
TEST_F(DefaultErrorReport, AnyStandardExceptionShowsItsWhatTextInTheDetails)
{
    driver.pressEnter();
    QTimer::singleShot(0, [] { throw std::runtime_error("Value must be between 0 and 100"); });
    ASSERT_TRUE(driver.waitUntilAnswered());
    EXPECT_TRUE(driver.last().text.startsWith(QStringLiteral("کار با خطا متوقف شد")))
        << driver.last().text.toStdString();
    EXPECT_EQ(driver.last().details, QString("Value must be between 0 and 100"));
    EXPECT_EQ(driver.last().direction, Qt::RightToLeft);
}

TEST(ProgramLanguage, QtsOwnButtonsArePersianAndDialogsRightToLeft)
{
    EXPECT_EQ(QApplication::layoutDirection(), Qt::RightToLeft);
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_NE(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
    EXPECT_TRUE(box.button(QDialogButtonBox::Cancel)->text().isRightToLeft())
        << box.button(QDialogButtonBox::Cancel)->text().toStdString();
}

TEST_F(DefaultErrorReport, ExceptionInsideAModalDialogLeavesTheDialogRunning)
{
    // The message dialog is up; a timer inside its loop throws; the report
    // comes on top of it and the dialog is then answered as usual.
    driver.handle([](QWidget *) { QTimer::singleShot(0, [] { throw AppError("Cannot open AVI"); }); });
    driver.pressButton("تاييد");
    driver.pressButton("تاييد");
    const int result = ShowMessageDialog(QString(), QStringLiteral("پيغام"), mbOK, mtInformation);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(driver.shown().size(), 3);
    EXPECT_EQ(driver.shown().at(1).details, QString("Cannot open AVI"));
    EXPECT_EQ(driver.shown().at(2).text, QStringLiteral("پيغام"));
}

TEST(ApplicationTitle, IsTheExecutableNameCutAtTheFirstDotWithTheRestInLowerCase)
{
    const QList<QPair<QString, QString>> cases = {
        {"C:\\Program Files\\Movan\\ABC.Tool.exe", "Abc"},
        {"/usr/bin/movan-config", "movan-config"},
        {"./MOVAN-CONFIG", "Movan-config"},
        {"sqlsetup.exe", "sqlsetup"},
        {"X", "X"},
        {".hidden", ""},
    };
    for (const auto &[path, title] : cases)
        EXPECT_EQ(ApplicationShell::titleFromExecutableName(path), title) << path.toStdString();
}

TEST(ApplicationTitle, IsTakenFromThisExecutable)
{
    EXPECT_EQ(ApplicationShell::title(), QStringLiteral("gui_default_error_report_test"));
    EXPECT_EQ(QCoreApplication::applicationName(), ApplicationShell::title());
}

} // namespace
