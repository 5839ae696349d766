#pragma once

#include <QSize>

class QDialog;

namespace app::forms {

// The size of the dialogs' push buttons as they were drawn.
inline constexpr QSize DesignedButton{75, 25};

// Gives a dialog laid out by its layout the size it was drawn at, or more
// where its texts need more room (a larger font, the screen's scaling), and
// keeps it at that size: the dialog is not resized by hand. The size is
// worked out again whenever the dialog is shown, its font changes or its
// texts change.
void FixDesignedSize(QDialog* dialog, QSize designed);

} // namespace app::forms
