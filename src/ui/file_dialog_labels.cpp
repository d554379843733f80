#include "ui/file_dialog_labels.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTreeView>

#include <algorithm>

namespace movan {

namespace {

constexpr int kWidth = 760;
constexpr int kHeight = 480;

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
    if (auto *folder = dialog->findChild<QComboBox *>(QStringLiteral("lookInCombo")))
        folder->setLayoutDirection(Qt::LeftToRight);
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
