// Entering the database name or the login name switches the keyboard to
// English; the password field leaves the layout alone.
#include "platform/keyboard_layout.h"
#include "setup_window_fixture.h"
#include "widgets/edit/mov_edit_box.h"

#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace movan;

namespace movan::test {
namespace {

TEST_F(SetupWindowTest, NameFieldsSwitchToEnglishThePasswordDoesNot)
{
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us,ir")}), 0);
    auto form = showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const std::pair<TMovEditBox *, QByteArray> fields[] = {
        {form->EdtDataBaseName, "us"},
        {form->EdtPassword, "ir"},
        {form->EdtLogName, "us"},
    };
    for (const auto &[field, layout] : fields) {
        SCOPED_TRACE(field->objectName().toStdString());
        form->BitBtn1->setFocus(Qt::TabFocusReason);
        KeyboardLayout::activate("ir");
        ASSERT_EQ(KeyboardLayout::activeLayout(), QByteArray("ir"));
        field->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(KeyboardLayout::activeLayout(), layout);
    }
}

} // namespace
} // namespace movan::test
