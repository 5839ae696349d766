// The window's "成绩分析..." item: the results workbook of the open table with
// its classes from the roster, the table's last used class settings or the
// suggestion found in the exam numbers, and what to open when it is written.
#include "app/forms/ResultsItem.h"

#include "app/forms/Guard.h"
#include "app/forms/MainWindow.h"
#include "results/ResultsCommand.h"
#include "scoring/forms/AnswerKeyPanels.h"
#include "stats/forms/ClassStatisticsDialog.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>

#include <filesystem>

namespace app::forms {

QString AskOpenResults(QWidget* owner, const QString& file) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(results::kResultsTitle),
                    "成绩分析已写入:\n" + file, QMessageBox::NoButton, owner);
    QPushButton* openFile = box.addButton("打开文件", QMessageBox::AcceptRole);
    QPushButton* openFolder = box.addButton("打开文件夹", QMessageBox::ActionRole);
    box.addButton("关闭", QMessageBox::RejectRole);
    box.setDefaultButton(openFile);
    box.exec();
    if (box.clickedButton() == openFile)
        return "file";
    if (box.clickedButton() == openFolder)
        return "folder";
    return {};
}

void MainWindow::writeResults() {
    Guarded(this, [&] {
        const int panelQuestions =
            mAnswerKeys->singleChoiceCount() + mAnswerKeys->multipleChoiceCount();
        auto guess = stats::GuessDialog(mWs, *mUi, panelQuestions);
        if (!guess)
            return;
        // A dialog never opened yet gets what opening it would have guessed.
        if (mClassDialog->examNumberLength() == 0)
            mClassDialog->showExamNumbers(guess->prefix, guess->totalLength);
        if (mClassDialog->questionCount() == 0)
            mClassDialog->setQuestionCount(guess->questions);
        results::ResultsRun run;
        {
            BusyCursor busy;
            const stats::ClassSettings classes =
                results::ClassesForResults(mWs, mClassDialog->settings());
            run = results::WriteResults(mWs, *mUi, classes, {});
        }
        if (run.outcome != core::Outcome::Done)
            return;
        if (!run.oneClassNotice.empty())
            mStatusBar->showMessage(QString::fromStdString(run.oneClassNotice));
        const std::filesystem::path& file = run.written.file;
        const QString choice = askOpenResults(QString::fromStdString(file.string()));
        if (choice == "file")
            mShell->open(file.string());
        else if (choice == "folder")
            mShell->open(file.parent_path().string());
    });
}

} // namespace app::forms
