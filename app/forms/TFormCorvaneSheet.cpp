// The main window's handler of the answer sheets on plain paper.
#include "app/forms/TFormCorvane.h"
#include "scan/forms/SheetDesignDialog.h"

namespace app::forms {

void TFormCorvane::nDesignSheetClick() {
    scan::forms::SheetDesignDialog dialog(this);
    dialog.exec();
}

} // namespace app::forms
