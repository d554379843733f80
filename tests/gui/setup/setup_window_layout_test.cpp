// The setup window's controls: where each stands, what it says, that its
// text fits, the order Tab walks them in.
#include "setup_window_fixture.h"
#include "widgets/edit/mov_edit_box.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

using namespace movan;

namespace movan::test {
namespace {

struct Control {
    const char *name;
    const char *parent;
    QRect geometry; // width or height 0: sized to the control's text
    QString text;
};

TEST_F(SetupWindowTest, ControlsTheirPlacesTextsCursorsAndTabOrder)
{
    const Control controls[] = {
        {"PageControl1", "Panel1", {8, 8, 281, 369}, {}},
        {"Image1", "TabSheet1", {11, 16, 37, 36}, {}},
        {"Label1", "TabSheet1", {52, 31, 0, 0}, QStringLiteral("Server :")},
        {"cbServer", "TabSheet1", {94, 28, 145, 0}, {}},
        {"SpeedButton1", "TabSheet1", {239, 24, 28, 28}, {}},
        {"GroupBox2", "TabSheet1", {10, 64, 229, 59}, QStringLiteral("نام بانک اطلاعاتي")},
        {"Label4", "GroupBox2", {9, 30, 0, 0}, QStringLiteral("DataBase Name :")},
        {"EdtDataBaseName", "GroupBox2", {94, 27, 121, 0}, {}},
        {"GroupBox1", "TabSheet1", {10, 134, 230, 157}, QStringLiteral("SQL Server نحوه برقراري ارتباط با")},
        {"rgWindows", "GroupBox1", {16, 32, 0, 17}, QStringLiteral("Use Windows authentication")},
        {"rgSql", "GroupBox1", {16, 58, 0, 17}, QStringLiteral("Use Sql Server authentication")},
        {"Label2", "GroupBox1", {25, 103, 0, 0}, QStringLiteral("Login Name :")},
        {"EdtLogName", "GroupBox1", {96, 102, 121, 0}, {}},
        {"Label3", "GroupBox1", {25, 127, 0, 0}, QStringLiteral("Password :")},
        {"EdtPassword", "GroupBox1", {96, 126, 121, 0}, {}},
        {"BitBtn1", "Panel2", {9, 5, 75, 25}, QStringLiteral("تاييد")},
        {"BitBtn2", "Panel2", {100, 5, 75, 25}, QStringLiteral("انصراف")},
        {"BitBtn3", "Panel2", {183, 5, 75, 25}, QStringLiteral("امکانات")},
    };
    auto form = showWindow();
    for (const Control &c : controls) {
        SCOPED_TRACE(c.name);
        const auto *widget = form->findChild<QWidget *>(QLatin1String(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QLatin1String(c.parent));
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()));
        if (const auto *label = qobject_cast<const QLabel *>(widget); label && label->buddy()) {
            // A caption may stand further left, never on its field.
            EXPECT_LE(widget->x(), c.geometry.x());
            EXPECT_LT(widget->geometry().right(), label->buddy()->x());
            EXPECT_EQ(widget->y(), c.geometry.y());
        } else {
            EXPECT_EQ(widget->pos(), c.geometry.topLeft());
        }
        EXPECT_EQ(widget->width(), c.geometry.width() ? c.geometry.width() : widget->width());
        EXPECT_EQ(widget->height(), c.geometry.height() ? c.geometry.height() : widget->height());
        if (c.text.isNull())
            continue;
        EXPECT_EQ(widget->property(qobject_cast<const QGroupBox *>(widget) ? "title" : "text").toString(), c.text);
        // Nothing is cut (a push button's hint holds a minimum width of the style's).
        if (qobject_cast<const QPushButton *>(widget)) {
            EXPECT_LE(widget->fontMetrics().horizontalAdvance(c.text) + 8, widget->width());
        } else if (!qobject_cast<const QGroupBox *>(widget)) {
            EXPECT_GE(widget->width(), widget->sizeHint().width());
        }
    }
    EXPECT_EQ(form->PageControl1->tabText(0), QStringLiteral("تنظيم ارتباط با بانک اطلاعاتي"));
    EXPECT_EQ(form->Panel2->geometry(), QRect(0, form->TabSheet1->height() - 34, form->TabSheet1->width(), 34));

    EXPECT_FALSE(form->SpeedButton1->isVisible());
    EXPECT_EQ(form->SpeedButton1->toolTip(), QStringLiteral("راهنما"));
    EXPECT_FALSE(form->Image1->pixmap().isNull());
    EXPECT_EQ(form->EdtPassword->PasswordChar(), QChar(u'*'));
    EXPECT_EQ(form->EdtPassword->echoMode(), QLineEdit::Password);
    for (const char *hand : {"PageControl1", "BitBtn1", "BitBtn2", "BitBtn3", "SpeedButton1"})
        EXPECT_EQ(form->findChild<QWidget *>(QLatin1String(hand))->cursor().shape(), Qt::PointingHandCursor) << hand;
    EXPECT_EQ(form->cbServer->cursor().shape(), Qt::ArrowCursor) << "the page's controls keep their own cursors";

    const QStringList tabOrder
        = {QStringLiteral("rgWindows"),   QStringLiteral("rgSql"),    QStringLiteral("EdtLogName"),
           QStringLiteral("EdtPassword"), QStringLiteral("cbServer"), QStringLiteral("EdtDataBaseName"),
           QStringLiteral("BitBtn1"),     QStringLiteral("BitBtn2"),  QStringLiteral("BitBtn3")};
    QStringList walked;
    for (QWidget *w = form->rgWindows; walked.size() < tabOrder.size(); w = w->nextInFocusChain()) {
        if (tabOrder.contains(w->objectName()) && !walked.contains(w->objectName()))
            walked.append(w->objectName());
    }
    EXPECT_EQ(walked, tabOrder);
}

} // namespace
} // namespace movan::test
