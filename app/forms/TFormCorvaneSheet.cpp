// The main window's handler of the answer sheets on plain paper.
#include "app/forms/TFormCorvane.h"
#include "scan/forms/ScanDialog.h"
#include "scan/forms/SheetDesignDialog.h"

namespace app::forms {

void TFormCorvane::nDesignSheetClick() {
    scan::forms::SheetDesignDialog dialog(this);
    dialog.exec();
}

void TFormCorvane::nScanSheetsClick() {
    scan::forms::ScanDialog dialog(this, mWs, *mUi);
    dialog.openTable = [this](const QString& table) {
        OpenDialog1FileName = table;
        OpenAnswerTable(table);
    };
    dialog.exec();
}

} // namespace app::forms
