#pragma once

class QFileDialog;

namespace movan {

// Qt's own file dialog names its folder and file-type boxes only by the
// labels beside them, without telling assistive technology so: each label
// becomes its box's buddy, and the box is announced by it.
void labelFileDialogBoxes(QFileDialog *dialog);

// In a right-to-left dialog a folder path would read from the right, its
// leading "/" drawn at the far end: the folder box reads left to right, as
// the file name box already does. The size, type and date columns take the
// width of what they show rather than cutting it short, and each reads in
// its own direction. Called before the dialog is first shown.
void fitFileDialogToRightToLeft(QFileDialog *dialog);

} // namespace movan
