// The window's "生成报表": the workbook written, named in the closing
// message, with the offer to keep a copy of it outside the temporary folder.
#include "app/forms/MainWindow.h"

#include "app/forms/Guard.h"
#include "report/ReportCopy.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace app::forms {

void MainWindow::writeReport() {
    Guarded(this, [&] {
        report::ReportResult written;
        try {
            BusyCursor busy;
            written = report::ExportReport(mWs, mSpreadsheet);
        } catch (const report::NoSpreadsheet&) {
            mStatusNotes->setText(report::NoSpreadsheetAdvice);
            throw;
        }
        if (!written.notice.empty())
            mShell->open(written.file.string());
        offerReportCopy(written);
    });
}

void MainWindow::offerReportCopy(const report::ReportResult& written) {
    const QString text = QString::fromStdString(report::ClosingText(written) + "\r\r是否另存一份？")
                             .replace('\r', '\n');
    QMessageBox box(QMessageBox::Information, "生成报表", text, QMessageBox::NoButton, this);
    box.setObjectName("ReportClosing");
    QPushButton* save = box.addButton("另存一份...", QMessageBox::AcceptRole);
    save->setObjectName("SaveCopy");
    box.addButton("关闭", QMessageBox::RejectRole)->setObjectName("CloseReport");
    box.setDefaultButton(save);
    box.exec();
    if (box.clickedButton() != save)
        return;
    const std::string name = report::CopyName(mWs.TableName, written.workbook);
    const QString suggested = QDir::home().filePath(QString::fromStdString(name));
    const QString target = chooseSaveFile(suggested);
    if (target.isEmpty())
        return;
    report::SaveCopy(written.workbook, target.toStdString());
    mStatusNotes->setText("报表已另存为 " + target);
}

} // namespace app::forms
