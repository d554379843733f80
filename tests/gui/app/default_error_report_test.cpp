#include "app/movan_application.h"
#include "platform/app_error.h"
#include "ui/application_shell.h"
#include "ui/message_dialog.h"

#include "support/modal_dialog_driver.h"

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
    driver.pressButton("OK");
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(driver.shown().size(), 1);
    const ShownDialog shown = driver.last();
    EXPECT_EQ(shown.text, QStringLiteral("خطا در باز کردن فهرست بانک ها"));
    EXPECT_EQ(shown.caption, ApplicationShell::title());
    EXPECT_EQ(shown.icon, DialogIcon::Error);
    EXPECT_EQ(shown.direction, Qt::RightToLeft);
    // The same window still handles its events.
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(driver.shown().size(), 1);
}

TEST_F(DefaultErrorReport, AnyStandardExceptionShowsItsWhatText)
{
    driver.pressEnter();
    QTimer::singleShot(0, [] { throw std::runtime_error("Value must be between 0 and 100"); });
    ASSERT_TRUE(driver.waitUntilAnswered());
    EXPECT_EQ(driver.last().text, QString("Value must be between 0 and 100"));
    EXPECT_EQ(driver.last().direction, Qt::LeftToRight);
}

TEST_F(DefaultErrorReport, ExceptionInsideAModalDialogLeavesTheDialogRunning)
{
    // The message dialog is up; a timer inside its loop throws; the report
    // comes on top of it and the dialog is then answered as usual.
    driver.handle([](QWidget *) { QTimer::singleShot(0, [] { throw AppError("Cannot open AVI"); }); });
    driver.pressButton("OK");
    driver.pressButton("تاييد");
    const int result = ShowMessageDialog(QString(), QStringLiteral("پيغام"), mbOK, mtInformation);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(driver.shown().size(), 3);
    EXPECT_EQ(driver.shown().at(1).text, QString("Cannot open AVI"));
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
