// The tests of the analysis window, the summary after a run and the
// correction of one key (analysis/forms), one Qt Test object after another
// in one program.
#include <QApplication>

int RunAnalysisWindowTest(int argc, char** argv);
int RunMainWindowAnalysisTest(int argc, char** argv);
int RunRekeyWindowTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = 0;
    for (auto run : {RunAnalysisWindowTest, RunMainWindowAnalysisTest, RunRekeyWindowTest})
        failed += run(argc, argv);
    return failed;
}
