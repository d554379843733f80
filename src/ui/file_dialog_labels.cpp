#include "ui/file_dialog_labels.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QPainter>
#include <QProxyStyle>
#include <QScreen>
#include <QTreeView>

#include <algorithm>

namespace movan {

namespace {

constexpr int kWidth = 760;
constexpr int kHeight = 480;

// The size, type and date of a file each read in the direction of their own
// first letter: in a right-to-left dialog "7 Dec 2026 20:19" would otherwise
// be drawn with its day at the far end. The name column is left as it is,
// since the dialog completes typed names from it.
class IsolatedDetailColumns : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        QVariant value = QIdentityProxyModel::data(index, role);
        if (role != Qt::DisplayRole || index.column() == 0 || value.typeId() != QMetaType::QString)
            return value;
        return QString(QChar(kFirstStrongIsolate) + value.toString() + QChar(kPopDirectionalIsolate));
    }

private:
    static constexpr char16_t kFirstStrongIsolate = 0x2068;
    static constexpr char16_t kPopDirectionalIsolate = 0x2069;
};

// Draws a combo box's text in the box's own direction: the style draws it in
// the painter's, which is the program's (right to left), so a path set left
// to right would still show its leading "/" at the far end.
class LabelInWidgetDirection : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element != CE_ComboBoxLabel) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const Qt::LayoutDirection before = painter->layoutDirection();
        painter->setLayoutDirection(option->direction);
        QProxyStyle::drawControl(element, option, painter, widget);
        painter->setLayoutDirection(before);
    }
};

} // namespace

void labelFileDialogBoxes(QFileDialog *dialog)
{
    const struct {
        const char *label;
        const char *box;
    } pairs[] = {{"lookInLabel", "lookInCombo"}, {"fileTypeLabel", "fileTypeCombo"}, {"fileNameLabel", "fileNameEdit"}};
    for (const auto &pair : pairs) {
        auto *label = dialog->findChild<QLabel *>(QLatin1String(pair.label));
        auto *box = dialog->findChild<QWidget *>(QLatin1String(pair.box));
        if (label && box && !label->buddy())
            label->setBuddy(box);
    }
}

void fitFileDialogToRightToLeft(QFileDialog *dialog)
{
    dialog->setProxyModel(new IsolatedDetailColumns(dialog));
    if (auto *folder = dialog->findChild<QComboBox *>(QStringLiteral("lookInCombo"))) {
        folder->setLayoutDirection(Qt::LeftToRight);
        auto *style = new LabelInWidgetDirection;
        style->setParent(folder);
        folder->setStyle(style);
    }
    if (auto *details = dialog->findChild<QTreeView *>(QStringLiteral("treeView"))) {
        QHeaderView *header = details->header();
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    // Room for a name beside whole columns, as far as the screen allows.
    if (const QScreen *screen = dialog->screen()) {
        const QSize room = screen->availableGeometry().size() * 9 / 10;
        dialog->resize(std::min(kWidth, room.width()), std::min(kHeight, room.height()));
    }
}

} // namespace movan
