#include "scan/forms/ScanDialog.h"

#include "scan/Template.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>
#include <exception>

namespace scan::forms {
namespace {

namespace fs = std::filesystem;

fs::path PathOf(const QString& text) {
    return fs::path(text.toStdString());
}

QString TextOf(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// The scan's side of the window's Ui: every message and question is asked
// on the window's thread, the scan's thread waiting for the answer. Once
// the scan is cancelled a question is answered No without being asked. The
// dialog shows the progress itself.
class WindowThreadUi : public core::Ui {
  public:
    WindowThreadUi(QObject* context, core::Ui& ui, const std::atomic<bool>& cancelled)
        : mContext(context), mUi(ui), mCancelled(cancelled) {}

    void message(const std::string& text, const std::string& title, core::Icon icon) override {
        onWindowThread([&] { mUi.message(text, title, icon); });
    }
    bool question(const std::string& text, const std::string& title, core::GoOn goOn) override {
        bool yes = false;
        if (!mCancelled)
            onWindowThread([&] { yes = mUi.question(text, title, goOn); });
        return yes;
    }
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override {
        std::optional<std::string> answer;
        onWindowThread([&] { answer = mUi.input(caption, prompt, value); });
        return answer;
    }
    bool editFieldNames(core::FieldSettings& fields) override {
        bool edited = false;
        onWindowThread([&] { edited = mUi.editFieldNames(fields); });
        return edited;
    }
    void progress(const std::string&, long long, long long) override {}
    void waiting(const std::string&) override {}

  private:
    template <class F> void onWindowThread(F ask) {
        QMetaObject::invokeMethod(mContext, ask, Qt::BlockingQueuedConnection);
    }

    QObject* mContext;
    core::Ui& mUi;
    const std::atomic<bool>& mCancelled;
};

// "1分05秒", "45秒".
QString Duration(double seconds) {
    const auto whole = static_cast<long long>(std::ceil(seconds));
    if (whole < 60)
        return QString("%1秒").arg(whole);
    return QString("%1分%2秒").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

// The output table beside the first input: in a file's folder, named after
// the folder; beside a folder, named after it.
fs::path TableBeside(const fs::path& input) {
    const fs::path absolute = fs::absolute(input).lexically_normal();
    std::error_code ec;
    const bool folder = fs::is_directory(absolute, ec);
    fs::path named = folder ? absolute : absolute.parent_path();
    if (!named.has_filename())
        named = named.parent_path();
    const std::string name = named.filename().empty() ? "扫描" : named.filename().string();
    return (folder ? named.parent_path() : named) / (name + ".dbf");
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

ScanDialog::ScanDialog(QWidget* parent, core::Workspace& ws, core::Ui& ui)
    : QDialog(parent), mWs(ws), mUi(ui) {
    setObjectName("ScanDialog");
    setWindowTitle("扫描答题卡");
    lwInputs = new QListWidget(this);
    lwInputs->setObjectName("lwInputs");
    lwInputs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btnAddFiles = Button(this, "btnAddFiles", "添加文件...");
    btnAddFolder = Button(this, "btnAddFolder", "添加文件夹...");
    btnRemove = Button(this, "btnRemove", "移除");
    edLayout = new QLineEdit(this);
    edLayout->setObjectName("edLayout");
    edLayout->setPlaceholderText(
        "版式文件 (*.layout.json)、答题卡模板 (template.json) 或存放版式文件的文件夹");
    btnLayoutFile = Button(this, "btnLayoutFile", "文件...");
    btnLayoutFolder = Button(this, "btnLayoutFolder", "文件夹...");
    lbIdLabel = new QLabel("考号标签", this);
    lbIdLabel->setObjectName("lbIdLabel");
    cbIdLabel = new QComboBox(this);
    cbIdLabel->setObjectName("cbIdLabel");
    cbIdLabel->setEditable(true);
    cbIdLabel->setInsertPolicy(QComboBox::NoInsert);
    cbIdLabel->lineEdit()->setPlaceholderText("不填：模板中唯一全由 QTYPE_INT 栏组成的自定义标签");
    edOut = new QLineEdit(this);
    edOut->setObjectName("edOut");
    btnOut = Button(this, "btnOut", "另存为...");
    edSubject = new QLineEdit(this);
    edSubject->setObjectName("edSubject");
    edSubject->setPlaceholderText("可不填");
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName("pbProgress");
    pbProgress->setRange(0, 1);
    pbProgress->setValue(0);
    lbPages = new QLabel(this);
    lbPages->setObjectName("lbPages");
    lbSpeed = new QLabel(this);
    lbSpeed->setObjectName("lbSpeed");
    lbStatus = new QLabel(this);
    lbStatus->setObjectName("lbStatus");
    lbStatus->setWordWrap(true);
    teSummary = new QPlainTextEdit(this);
    teSummary->setObjectName("teSummary");
    teSummary->setReadOnly(true);
    btnStart = Button(this, "btnStart", "开始扫描");
    btnStart->setDefault(true);
    btnCancel = Button(this, "btnCancel", "取消");
    btnClose = Button(this, "btnClose", "关闭");
    btnReview = Button(this, "btnReview", "复核...");
    btnReview->setVisible(false);

    auto* inputButtons = new QVBoxLayout;
    inputButtons->addWidget(btnAddFiles);
    inputButtons->addWidget(btnAddFolder);
    inputButtons->addWidget(btnRemove);
    inputButtons->addStretch();
    auto* inputs = new QHBoxLayout;
    inputs->addWidget(lwInputs, 1);
    inputs->addLayout(inputButtons);
    auto* layout = new QHBoxLayout;
    layout->addWidget(edLayout, 1);
    layout->addWidget(btnLayoutFile);
    layout->addWidget(btnLayoutFolder);
    auto* out = new QHBoxLayout;
    out->addWidget(edOut, 1);
    out->addWidget(btnOut);
    auto* form = new QFormLayout;
    form->addRow("图片、PDF或文件夹", inputs);
    form->addRow("版式", layout);
    form->addRow(lbIdLabel, cbIdLabel);
    form->addRow("输出DBF表", out);
    form->addRow("科目", edSubject);
    auto* figures = new QHBoxLayout;
    figures->addWidget(lbPages, 1);
    figures->addWidget(lbSpeed, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnStart);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnReview);
    buttons->addWidget(btnClose);
    auto* main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addWidget(pbProgress);
    main->addLayout(figures);
    main->addWidget(lbStatus);
    main->addWidget(teSummary, 1);
    main->addLayout(buttons);
    resize(640, 520);

    connect(btnAddFiles, &QPushButton::clicked, this, &ScanDialog::chooseFiles);
    connect(btnAddFolder, &QPushButton::clicked, this, &ScanDialog::chooseFolder);
    connect(btnRemove, &QPushButton::clicked, this, [this] {
        qDeleteAll(lwInputs->selectedItems());
        followInputs();
    });
    connect(btnLayoutFile, &QPushButton::clicked, this, &ScanDialog::chooseLayoutFile);
    connect(btnLayoutFolder, &QPushButton::clicked, this, &ScanDialog::chooseLayoutFolder);
    connect(edLayout, &QLineEdit::textChanged, this, &ScanDialog::followLayout);
    connect(btnOut, &QPushButton::clicked, this, &ScanDialog::chooseOut);
    connect(edOut, &QLineEdit::textEdited, this, [this] { mOutChosen = true; });
    connect(btnStart, &QPushButton::clicked, this, &ScanDialog::start);
    connect(btnCancel, &QPushButton::clicked, this, &ScanDialog::cancel);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnReview, &QPushButton::clicked, this, [this] {
        if (!mResult)
            return;
        const QString table = TextOf(mResult->table);
        QDialog::done(QDialog::Accepted);
        if (reviewTable)
            reviewTable(table);
    });
    setRunning(false);
    followLayout();
}

ScanDialog::~ScanDialog() {
    if (!mThread)
        return;
    // The scan's thread may be waiting for an answer on this thread: the
    // events are let through until it has ended.
    mCancel = true;
    while (!mThread->wait(20))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    delete mThread;
}

void ScanDialog::addInputs(const QStringList& paths) {
    for (const QString& path : paths)
        if (!path.isEmpty() && lwInputs->findItems(path, Qt::MatchExactly).isEmpty())
            lwInputs->addItem(path);
    followInputs();
}

void ScanDialog::followInputs() {
    if (mOutChosen || lwInputs->count() == 0)
        return;
    edOut->setText(TextOf(TableBeside(PathOf(lwInputs->item(0)->text()))));
}

void ScanDialog::followLayout() {
    const fs::path layout = PathOf(edLayout->text().trimmed());
    std::error_code ec;
    const bool chosen =
        !layout.empty() && fs::is_regular_file(layout, ec) && IsTemplateFile(layout);
    lbIdLabel->setVisible(chosen);
    cbIdLabel->setVisible(chosen);
    if (!chosen && !mTemplateChosen)
        return;
    mTemplateChosen = chosen;
    cbIdLabel->clear();
    if (!chosen)
        return;
    cbIdLabel->addItem(QString());
    try {
        const Layout loaded = LoadTemplate(layout);
        for (const auto& [name, fields] : loaded.bubbleTemplate->customLabels)
            cbIdLabel->addItem(QString::fromStdString(name));
    } catch (const std::exception&) { // NOLINT(bugprone-empty-catch)
        // The template is refused, naming its key, when the scan starts.
    }
    cbIdLabel->setCurrentIndex(0);
}

ScanSettings ScanDialog::settings() const {
    ScanSettings s;
    for (int i = 0; i < lwInputs->count(); ++i)
        s.inputs.push_back(PathOf(lwInputs->item(i)->text()));
    s.layout = PathOf(edLayout->text().trimmed());
    const QString out = edOut->text().trimmed();
    if (!out.isEmpty())
        s.out = fs::absolute(PathOf(out)).lexically_normal();
    s.subject = edSubject->text().trimmed().toStdString();
    if (mTemplateChosen)
        s.idLabel = cbIdLabel->currentText().trimmed().toStdString();
    return s;
}

void ScanDialog::start() {
    if (mThread)
        return;
    const ScanSettings s = settings();
    QString problem;
    if (s.inputs.empty())
        problem = "请添加要扫描的图片、PDF或文件夹。";
    else if (s.layout.empty())
        problem = "请选择版式文件或存放版式文件的文件夹。";
    else if (s.out.empty())
        problem = "请选择输出的DBF表。";
    else if (QFileInfo(TextOf(s.out)).suffix().compare("dbf", Qt::CaseInsensitive) != 0)
        problem = "输出表必须是 .dbf 文件。";
    if (!problem.isEmpty()) {
        lbStatus->setText(problem);
        return;
    }
    mResult.reset();
    mError.clear();
    mCancel = false;
    teSummary->clear();
    lbPages->clear();
    lbSpeed->clear();
    pbProgress->setRange(0, 0);
    lbStatus->setText("正在扫描...");
    mThread = QThread::create([this, s] {
        WindowThreadUi ui(this, mUi, mCancel);
        try {
            mResult = RunScan(mWs, s, ui, [this](const ScanProgress& p) {
                QMetaObject::invokeMethod(this, [this, p] { showProgress(p); });
                return !mCancel;
            });
        } catch (const std::exception& e) {
            mError = e.what();
        }
    });
    connect(mThread, &QThread::finished, this, &ScanDialog::endScan);
    setRunning(true);
    mClock.start();
    mThread->start();
}

void ScanDialog::cancel() {
    if (!mThread)
        return;
    mCancel = true;
    btnCancel->setEnabled(false);
    lbStatus->setText("正在取消...");
}

void ScanDialog::done(int r) {
    if (mThread) {
        mCloseAtEnd = true;
        cancel();
        return;
    }
    QDialog::done(r);
}

void ScanDialog::setRunning(bool running) {
    for (QWidget* control :
         {static_cast<QWidget*>(lwInputs), static_cast<QWidget*>(btnAddFiles),
          static_cast<QWidget*>(btnAddFolder), static_cast<QWidget*>(btnRemove),
          static_cast<QWidget*>(edLayout), static_cast<QWidget*>(cbIdLabel),
          static_cast<QWidget*>(btnLayoutFile), static_cast<QWidget*>(btnLayoutFolder),
          static_cast<QWidget*>(edOut), static_cast<QWidget*>(btnOut),
          static_cast<QWidget*>(edSubject), static_cast<QWidget*>(btnStart)})
        control->setEnabled(!running);
    btnCancel->setEnabled(running);
}

void ScanDialog::showProgress(const ScanProgress& p) {
    if (!mThread)
        return;
    const auto total = static_cast<int>(std::max(p.pagesTotal, p.pages));
    lbPages->setText(p.totalKnown ? QString("已读 %1 / %2 页").arg(p.pages).arg(total)
                                  : QString("已读 %1 / 约 %2 页").arg(p.pages).arg(total));
    QString speed = QString("%1 页/秒").arg(p.pagesPerSecond, 0, 'f', 1);
    if (p.secondsLeft >= 0)
        speed += "，剩余约 " + Duration(p.secondsLeft);
    lbSpeed->setText(speed);
    pbProgress->setRange(0, std::max(total, 1));
    pbProgress->setValue(static_cast<int>(p.pages));
}

void ScanDialog::endScan() {
    mThread->wait();
    delete mThread;
    mThread = nullptr;
    setRunning(false);
    if (pbProgress->maximum() == 0)
        pbProgress->setRange(0, 1);
    if (!mError.empty()) {
        lbStatus->setText("扫描出错: " + QString::fromStdString(mError));
        mUi.message(mError, "扫描答题卡", core::Icon::Error);
    } else if (mResult && mResult->outcome == core::Outcome::Done) {
        pbProgress->setValue(pbProgress->maximum());
        lbPages->setText(QString("已读 %1 页").arg(mResult->pages));
        const double seconds = static_cast<double>(mClock.elapsed()) / 1000;
        lbSpeed->setText(
            QString("平均 %1 页/秒，用时 %2")
                .arg(seconds > 0 ? static_cast<double>(mResult->pages) / seconds : 0, 0, 'f', 1)
                .arg(Duration(seconds)));
        lbStatus->setText("扫描完成，已写入 " + TextOf(mResult->table));
        showSummary(*mResult);
    } else if (mCancel) {
        lbStatus->setText("已取消：没有写入任何文件。");
    } else {
        QString why = "扫描没有进行。";
        if (mResult)
            for (const auto& line : mResult->problems)
                why += "\n" + QString::fromStdString(line);
        lbStatus->setText(why);
    }
    if (mCloseAtEnd) {
        emit scanEnded();
        QDialog::done(QDialog::Rejected);
        return;
    }
    if (mResult && mResult->outcome == core::Outcome::Done && openTable)
        openTable(TextOf(mResult->table));
    emit scanEnded();
}

void ScanDialog::showSummary(const ScanResult& r) {
    QStringList lines;
    lines << QString("页数:%1  记录数:%2  待复核:%3  空白:%4  重复:%5  失败:%6")
                 .arg(r.pages)
                 .arg(r.records)
                 .arg(r.review)
                 .arg(r.blank)
                 .arg(r.duplicates)
                 .arg(r.failed);
    for (const auto& line : r.problems)
        lines << QString::fromStdString(line);
    teSummary->setPlainText(lines.join('\n'));
    if (r.review > 0)
        offerReview(r);
    QStringList written;
    for (const auto& file : r.written)
        written << "已写入 " + TextOf(file);
    teSummary->appendPlainText(written.join('\n'));
}

void ScanDialog::offerReview(const ScanResult& r) {
    teSummary->appendPlainText(QString("有 %1 页需要复核，待复核的项目和原因见扫描记录 %2。")
                                   .arg(r.review)
                                   .arg(QString::fromStdString(ScanLogName(r.table))));
    btnReview->setVisible(static_cast<bool>(reviewTable));
}

void ScanDialog::chooseFiles() {
    const QStringList files = QFileDialog::getOpenFileNames(
        this, "添加图片或PDF", QString(), "图片和PDF (*.png *.jpg *.jpeg *.tif *.tiff *.pdf)");
    addInputs(files);
}

void ScanDialog::chooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "添加文件夹");
    if (!folder.isEmpty())
        addInputs({folder});
}

void ScanDialog::chooseLayoutFile() {
    const QString file = QFileDialog::getOpenFileName(
        this, "选择版式文件", QString(), "版式文件 (*.layout.json);;答题卡模板 (*.json)");
    if (!file.isEmpty())
        edLayout->setText(file);
}

void ScanDialog::chooseLayoutFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "选择存放版式文件的文件夹");
    if (!folder.isEmpty())
        edLayout->setText(folder);
}

void ScanDialog::chooseOut() {
    const QString file =
        QFileDialog::getSaveFileName(this, "输出DBF表", edOut->text(), "dBase 数据表 (*.dbf)");
    if (file.isEmpty())
        return;
    edOut->setText(file);
    mOutChosen = true;
}

} // namespace scan::forms
