#include "ui/file_dialog_labels.h"

#include <QFileDialog>
#include <QLabel>

namespace movan {

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

} // namespace movan
