// The setup window as a user reads it, whatever its coordinates: every
// control lies inside its parent, no caption is cut, no label stands on its
// field, controls of one parent do not overlap, and the password is hidden.
#include "setup_window_fixture.h"
#include "widgets/edit/mov_edit_box.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace movan;

namespace movan::test {
namespace {

QString shownText(const QWidget &widget)
{
    if (const auto *box = qobject_cast<const QGroupBox *>(&widget))
        return box->title();
    if (const auto *label = qobject_cast<const QLabel *>(&widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(&widget))
        return button->text();
    return {};
}

TEST_F(SetupWindowTest, EveryControlInsideItsParentWholeAndClearOfItsNeighbours)
{
    auto form = showWindow();
    const QList<QWidget *> controls = form->TabSheet1->findChildren<QWidget *>()
        + form->Panel2->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    int checked = 0;
    for (QWidget *widget : controls) {
        if (widget->objectName().isEmpty() || !widget->isVisibleTo(form.get()))
            continue;
        SCOPED_TRACE(widget->objectName().toStdString());
        ++checked;
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()));
        const QString text = shownText(*widget);
        // Nothing is cut (a push button's hint holds a minimum width of the style's).
        if (qobject_cast<const QPushButton *>(widget)) {
            EXPECT_LE(widget->fontMetrics().horizontalAdvance(text) + 8, widget->width());
        } else if (!text.isEmpty() && !qobject_cast<const QGroupBox *>(widget)) {
            EXPECT_GE(widget->width(), widget->sizeHint().width());
        }
        if (const auto *label = qobject_cast<const QLabel *>(widget); label && label->buddy()) {
            EXPECT_FALSE(label->geometry().intersects(label->buddy()->geometry())) << "a caption on its field";
        }
        for (QWidget *sibling : controls) {
            if (sibling == widget || sibling->parentWidget() != widget->parentWidget()
                || sibling->objectName().isEmpty() || !sibling->isVisibleTo(form.get()))
                continue;
            EXPECT_FALSE(widget->geometry().intersects(sibling->geometry()))
                << "overlaps " << sibling->objectName().toStdString();
        }
    }
    EXPECT_GE(checked, 15) << "the window's controls were not found";
    EXPECT_EQ(form->EdtPassword->echoMode(), QLineEdit::Password);
}

} // namespace
} // namespace movan::test
