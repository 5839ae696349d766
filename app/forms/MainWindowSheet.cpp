// The main window's handler of the answer sheets on plain paper.
#include "app/forms/MainWindow.h"
#include "scan/ScanDatabase.h"
#include "scan/forms/ReviewDialog.h"
#include "scan/forms/ScanDialog.h"
#include "scan/forms/SheetDesignDialog.h"

namespace app::forms {

void MainWindow::designSheet() {
    scan::forms::SheetDesignDialog dialog(this);
    dialog.exec();
}

void MainWindow::scanSheets() {
    scan::forms::ScanDialog dialog(this, mWs, *mUi);
    dialog.openTable = [this](const QString& table) {
        mLastTable = table;
        openAnswerTable(table);
    };
    QString toReview;
    dialog.reviewTable = [&toReview](const QString& table) { toReview = table; };
    dialog.exec();
    if (!toReview.isEmpty())
        reviewScan(toReview);
}

void MainWindow::reviewScans() {
    QString table = mLastTable;
    std::error_code ec;
    if (table.isEmpty() || !std::filesystem::exists(scan::ScanDatabaseOf(table.toStdString()), ec))
        table = chooseFile("扫描复核", "dbase 数据表 (*.dbf *.DBF)");
    if (!table.isEmpty())
        reviewScan(table);
}

void MainWindow::reviewScan(const QString& table) {
    std::unique_ptr<scan::forms::ReviewDialog> dialog;
    try {
        dialog = std::make_unique<scan::forms::ReviewDialog>(this, mWs, *mUi, table.toStdString());
    } catch (const scan::ReviewError& e) {
        mUi->message(e.what(), "扫描复核", core::Icon::Error);
        return;
    }
    dialog->openTable = [this](const QString& written) {
        mLastTable = written;
        mUi->replaceByDefault = true;
        openAnswerTable(written);
        mUi->replaceByDefault = false;
    };
    dialog->exec();
}

} // namespace app::forms
