// The tests of the main window and its dialogs (app/forms), one Qt Test
// object after another in one program.
#include <QApplication>

int RunMainWindowTest(int argc, char** argv);
int RunErrorsWindowTest(int argc, char** argv);
int RunViewerTest(int argc, char** argv);
int RunDeskTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    int failed = 0;
    for (auto run : {RunMainWindowTest, RunErrorsWindowTest, RunViewerTest, RunDeskTest})
        failed += run(argc, argv);
    return failed;
}
