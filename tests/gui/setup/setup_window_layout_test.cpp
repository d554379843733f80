// The setup window's controls: where each stands, what it says, that its
// text fits, and the order Tab walks them in.
#include "setup_window_fixture.h"

#include "widgets/mov_edit_box.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

namespace setup_test {
namespace {

struct Control {
    const char *name;
    const char *parent;
    QRect geometry; // width or height 0: sized to the control's text
    QString text;
};

QString textOf(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *box = qobject_cast<const QGroupBox *>(widget))
        return box->title();
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    return {};
}

TEST_F(SetupWindowTest, ControlsStandWhereTheyBelongWithTheirTexts)
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
        if (const auto *label = qobject_cast<const QLabel *>(widget); label && label->buddy()) {
            // A caption may stand further left, never on its field.
            EXPECT_LE(widget->x(), c.geometry.x());
            EXPECT_LT(widget->geometry().right(), label->buddy()->x());
            EXPECT_EQ(widget->y(), c.geometry.y());
        } else {
            EXPECT_EQ(widget->pos(), c.geometry.topLeft());
        }
        if (c.geometry.width() > 0) {
            EXPECT_EQ(widget->width(), c.geometry.width());
        }
        if (c.geometry.height() > 0) {
            EXPECT_EQ(widget->height(), c.geometry.height());
        }
        if (!c.text.isNull()) {
            EXPECT_EQ(textOf(widget), c.text);
            // Nothing is cut: each captioned control is as wide as its text
            // asks (a push button's hint holds a minimum width of the style's).
            if (qobject_cast<const QPushButton *>(widget))
                EXPECT_LE(widget->fontMetrics().horizontalAdvance(c.text) + 8, widget->width());
            else
                EXPECT_GE(widget->width(), widget->sizeHint().width());
        }
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()));
    }
    EXPECT_EQ(form->PageControl1->tabText(0), QStringLiteral("تنظيم ارتباط با بانک اطلاعاتي"));
    const QTabBar *tabs = form->PageControl1->tabBar();
    EXPECT_GT(tabs->tabRect(0).width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(0)));
    EXPECT_LE(tabs->tabRect(0).right(), form->PageControl1->width());
    for (const QGroupBox *box : {form->GroupBox1, form->GroupBox2}) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxLabel;
        const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        EXPECT_LE(label.right(), box->width()) << box->objectName().toStdString();
    }
    EXPECT_EQ(form->Panel2->geometry(), QRect(0, form->TabSheet1->height() - 34, form->TabSheet1->width(), 34));
}

TEST_F(SetupWindowTest, HiddenHelpPasswordStarsHandCursorsAndTabOrder)
{
    auto form = showWindow();
    EXPECT_FALSE(form->SpeedButton1->isVisible());
    EXPECT_EQ(form->SpeedButton1->toolTip(), QStringLiteral("راهنما"));
    EXPECT_FALSE(form->SpeedButton1->icon().isNull());
    EXPECT_FALSE(form->Image1->pixmap().isNull());
    EXPECT_EQ(form->EdtPassword->PasswordChar(), QChar(u'*'));
    EXPECT_EQ(form->EdtPassword->echoMode(), QLineEdit::Password);
    for (const QWidget *hand : {static_cast<QWidget *>(form->PageControl1), static_cast<QWidget *>(form->BitBtn1),
                                static_cast<QWidget *>(form->BitBtn2), static_cast<QWidget *>(form->BitBtn3),
                                static_cast<QWidget *>(form->SpeedButton1)})
        EXPECT_EQ(hand->cursor().shape(), Qt::PointingHandCursor) << hand->objectName().toStdString();
    EXPECT_EQ(form->cbServer->cursor().shape(), Qt::ArrowCursor) << "the page's controls keep their own cursors";

    const QStringList expected = {QStringLiteral("rgWindows"), QStringLiteral("rgSql"), QStringLiteral("EdtLogName"),
                                  QStringLiteral("EdtPassword"), QStringLiteral("cbServer"), QStringLiteral("EdtDataBaseName"),
                                  QStringLiteral("BitBtn1"), QStringLiteral("BitBtn2"), QStringLiteral("BitBtn3")};
    QStringList order;
    for (QWidget *w = form->rgWindows; order.size() < expected.size(); w = w->nextInFocusChain()) {
        if (expected.contains(w->objectName()) && !order.contains(w->objectName()))
            order.append(w->objectName());
    }
    EXPECT_EQ(order, expected);
}

} // namespace
} // namespace setup_test
