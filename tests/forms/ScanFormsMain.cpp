// The tests of the answer-sheet dialogs (scan/forms), one Qt Test object
// after another in one program.
#include <QApplication>

int RunSheetDesignTest(int argc, char** argv);
int RunScanDialogTest(int argc, char** argv);
int RunReviewDialogTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    int failed = 0;
    for (auto run : {RunSheetDesignTest, RunScanDialogTest, RunReviewDialogTest})
        failed += run(argc, argv);
    return failed;
}
