// Entering the database name or the login name switches the keyboard to
// English; the password field leaves the layout alone. Leaving a field that
// switched, or the program's end, gives the user their own layout back.
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
        form->BitBtn1->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("ir")) << "after leaving the field";
    }

    // The program ends while a field holds the focus.
    form->EdtLogName->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    ASSERT_EQ(KeyboardLayout::activeLayout(), QByteArray("us"));
    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection);
    EXPECT_EQ(KeyboardLayout::activeLayout(), QByteArray("ir")) << "after the program's end";
}

} // namespace
} // namespace movan::test
