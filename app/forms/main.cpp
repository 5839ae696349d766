// quillory: the window.
// quillory [--home DIR] [--screenshot FILE.png] [--analysis-screenshot FILE.png]
//          [--design-screenshot FILE.png] [--dialogs-screenshot FOLDER]
//          [--scan-screenshot FILE.png --scan-layout LAYOUT --scan-input PATH...] [TABLE.dbf]
#include "analysis/forms/AnalysisWindow.h"
#include "app/forms/Guard.h"
#include "app/forms/MainWindow.h"
#include "app/forms/QtTranslations.h"
#include "platform/os/Folders.h"
#include "scan/forms/ScanDialog.h"
#include "scan/forms/SheetDesignDialog.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <filesystem>

namespace {

// Shows an error that escaped a handler instead of letting it reach the
// event loop.
class Application : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        bool result = false;
        app::forms::Guarded(activeWindow(),
                            [&] { result = QApplication::notify(receiver, event); });
        return result;
    }
};

QIcon MakeIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(QColor(30, 90, 170));
    QPainter p(&pixmap);
    p.setPen(Qt::white);
    QFont f;
    f.setFamilies({"WenQuanYi Micro Hei", "Noto Sans CJK SC"});
    f.setPixelSize(44);
    p.setFont(f);
    p.drawText(pixmap.rect(), Qt::AlignCenter, "评");
    return QIcon(pixmap);
}

// The analysis window of the open table with its first suspected key (else
// its first flagged question) selected, saved as a picture; then the end.
void SaveAnalysisPicture(app::forms::MainWindow& window, const QString& file) {
    window.showExamAnalysis();
    auto* analysis = window.findChild<analysis::forms::AnalysisWindow*>("TFormAnalysis");
    if (!analysis) {
        window.close();
        return;
    }
    const auto& items = analysis->analysis().items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& flags = items[i].flags;
        if (std::find(flags.begin(), flags.end(), analysis::Flag::MisKey) != flags.end()) {
            analysis->selectItem(static_cast<int>(i));
            break;
        }
    }
    QTimer::singleShot(1000, &window, [&window, analysis, file] {
        analysis->grab().save(file);
        window.close();
    });
}

// The answer-sheet designer as it opens, its preview drawn, saved as a
// picture; then the program ends.
void SaveDesignPicture(app::forms::MainWindow& window, const QString& file) {
    auto* dialog = new scan::forms::SheetDesignDialog(&window);
    dialog->show();
    QTimer::singleShot(1000, &window, [&window, dialog, file] {
        dialog->grab().save(file);
        window.close();
    });
}

// The scan dialog at the end of a scan of `inputs` with `layout`, its
// summary shown and the new table open in the window, saved as a picture;
// then the program ends.
void SaveScanPicture(app::forms::MainWindow& window, const QString& file, const QString& layout,
                     const QStringList& inputs) {
    auto* dialog = new scan::forms::ScanDialog(&window, window.workspace(), window.ui());
    dialog->openTable = [&window](const QString& table) { window.openAnswerTable(table); };
    dialog->addInputs(inputs);
    dialog->setLayoutFile(layout);
    QObject::connect(dialog, &scan::forms::ScanDialog::scanEnded, &window, [&window, dialog, file] {
        QTimer::singleShot(500, &window, [&window, dialog, file] {
            dialog->grab().save(file);
            window.close();
        });
    });
    dialog->show();
    dialog->start();
}

// Every dialog the window has made, shown as it opens and each saved as
// FOLDER/<its name>.png; then the program ends.
void SaveDialogPictures(app::forms::MainWindow& window, const QString& folder) {
    QDir().mkpath(folder);
    const QList<QDialog*> dialogs = window.findChildren<QDialog*>();
    for (QDialog* dialog : dialogs)
        dialog->show();
    QTimer::singleShot(1000, &window, [&window, dialogs, folder] {
        for (QDialog* dialog : dialogs) {
            dialog->grab().save(folder + "/" + dialog->objectName() + ".png");
            dialog->hide();
        }
        window.close();
    });
}

} // namespace

int main(int argc, char** argv) {
    Application application(argc, argv);
    application.setApplicationName("Quillory");
    application.setWindowIcon(MakeIcon());
    app::forms::InstallQtTranslations(application); // without the file, Qt's texts stay English
    QStringList args = application.arguments().mid(1);
    QString table, screenshot, analysisShot, designShot, dialogsShot, scanShot, scanLayout;
    QStringList scanInputs;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--home" && i + 1 < args.size()) {
            std::filesystem::path home = args[++i].toStdString();
            std::error_code ec;
            std::filesystem::create_directories(home, ec);
            os::SetProgramFolder(home);
        } else if (args[i] == "--screenshot" && i + 1 < args.size())
            screenshot = args[++i];
        else if (args[i] == "--analysis-screenshot" && i + 1 < args.size())
            analysisShot = args[++i];
        else if (args[i] == "--design-screenshot" && i + 1 < args.size())
            designShot = args[++i];
        else if (args[i] == "--dialogs-screenshot" && i + 1 < args.size())
            dialogsShot = args[++i];
        else if (args[i] == "--scan-screenshot" && i + 1 < args.size())
            scanShot = args[++i];
        else if (args[i] == "--scan-layout" && i + 1 < args.size())
            scanLayout = args[++i];
        else if (args[i] == "--scan-input" && i + 1 < args.size())
            scanInputs << args[++i];
        else
            table = args[i];
    }

    app::forms::MainWindow window;
    window.createDialogs();
    window.show();
    if (!table.isEmpty())
        QTimer::singleShot(0, &window, [&] { window.dropFiles({table}); });
    if (!screenshot.isEmpty())
        QTimer::singleShot(1500, &window, [&] {
            window.grab().save(screenshot);
            window.close();
        });
    if (!analysisShot.isEmpty())
        QTimer::singleShot(1500, &window, [&] { SaveAnalysisPicture(window, analysisShot); });
    if (!designShot.isEmpty())
        QTimer::singleShot(500, &window, [&] { SaveDesignPicture(window, designShot); });
    if (!dialogsShot.isEmpty())
        QTimer::singleShot(1500, &window, [&] { SaveDialogPictures(window, dialogsShot); });
    if (!scanShot.isEmpty())
        QTimer::singleShot(500, &window,
                           [&] { SaveScanPicture(window, scanShot, scanLayout, scanInputs); });
    return application.exec();
}
