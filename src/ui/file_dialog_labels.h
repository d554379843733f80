#pragma once

class QFileDialog;

namespace movan {

// Qt's own file dialog names its folder and file-type boxes only by the
// labels beside them, without telling assistive technology so: each label
// becomes its box's buddy, and the box is announced by it.
void labelFileDialogBoxes(QFileDialog *dialog);

} // namespace movan
