#include "setup/frm_sql_setup.h"
#include "single_instance/mov_single_instance.h"
#include "ui/application_shell.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace movan;

namespace {

TEST(MainWindowFrame, CaptionSizeFontIconAndPlace)
{
    TFrmSQLSetup form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Movan Config DataBase 4.0"));
    EXPECT_EQ(form.size(), QSize(296, 384));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(form.font().pixelSize(), 11);
    // "Tahoma" really resolves to the Persian UI font.
    EXPECT_EQ(QFontInfo(form.font()).family(), QStringLiteral("Noto Sans Arabic UI"));
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_FALSE(form.windowIcon().pixmap(32, 32).isNull());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(form.geometry().center().x() - screen.center().x()), 2);
    EXPECT_LE(std::abs(form.geometry().center().y() - screen.center().y()), 2);
}

TEST(MainWindowFrame, CarriesTheGuardWithItsDefaults)
{
    TFrmSQLSetup form;
    auto *guard = form.findChild<TMovSingleInstance *>(QStringLiteral("MovSingleInstance1"));
    ASSERT_NE(guard, nullptr);
    EXPECT_EQ(guard, form.MovSingleInstance1);
    EXPECT_TRUE(guard->WarningText().isEmpty());
    EXPECT_TRUE(guard->ActivatePrevious());
    EXPECT_FALSE(guard->ClosePrevious());
    EXPECT_FALSE(guard->MultipleInstances());
    EXPECT_EQ(guard->TerminateBy(), atmAppTerminate);
    EXPECT_FALSE(guard->OnOtherInstances);
    EXPECT_TRUE(ApplicationShell::showMainForm());
}

} // namespace
