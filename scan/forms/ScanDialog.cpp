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
#include <initializer_list>

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

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    return Named(new QPushButton(caption, parent), name);
}

} // namespace

ScanDialog::ScanDialog(QWidget* parent, core::Workspace& ws, core::Ui& ui)
    : QDialog(parent), mWs(ws), mUi(ui) {
    setObjectName("ScanDialog");
    setWindowTitle("扫描答题卡");
    createControls();
    layOutControls();
    resize(640, 520);
    connectControls();
    setRunning(false);
    followLayout();
}

void ScanDialog::createControls() {
    mInputs = Named(new QListWidget(this), "lwInputs");
    mInputs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mAddFiles = Button(this, "btnAddFiles", "添加文件...");
    mAddFolder = Button(this, "btnAddFolder", "添加文件夹...");
    mRemove = Button(this, "btnRemove", "移除");
    mLayoutFile = Named(new QLineEdit(this), "edLayout");
    mLayoutFile->setPlaceholderText(
        "版式文件 (*.layout.json)、答题卡模板 (template.json) 或存放版式文件的文件夹");
    mChooseLayoutFile = Button(this, "btnLayoutFile", "文件...");
    mChooseLayoutFolder = Button(this, "btnLayoutFolder", "文件夹...");
    mIdLabelCaption = Named(new QLabel("考号标签", this), "lbIdLabel");
    mIdLabel = Named(new QComboBox(this), "cbIdLabel");
    mIdLabel->setEditable(true);
    mIdLabel->setInsertPolicy(QComboBox::NoInsert);
    mIdLabel->lineEdit()->setPlaceholderText("不填：模板中唯一全由 QTYPE_INT 栏组成的自定义标签");
    mOutTable = Named(new QLineEdit(this), "edOut");
    mChooseOutTable = Button(this, "btnOut", "另存为...");
    mSubject = Named(new QLineEdit(this), "edSubject");
    mSubject->setPlaceholderText("可不填");
    mProgress = Named(new QProgressBar(this), "pbProgress");
    mProgress->setRange(0, 1);
    mProgress->setValue(0);
    mPages = Named(new QLabel(this), "lbPages");
    mSpeed = Named(new QLabel(this), "lbSpeed");
    mStatus = Named(new QLabel(this), "lbStatus");
    mStatus->setWordWrap(true);
    mSummary = Named(new QPlainTextEdit(this), "teSummary");
    mSummary->setReadOnly(true);
    mStart = Button(this, "btnStart", "开始扫描");
    mStart->setDefault(true);
    mCancel = Button(this, "btnCancel", "取消");
    mClose = Button(this, "btnClose", "关闭");
    mReview = Button(this, "btnReview", "复核...");
    mReview->setVisible(false);
}

void ScanDialog::layOutControls() {
    auto* inputButtons = new QVBoxLayout;
    inputButtons->addWidget(mAddFiles);
    inputButtons->addWidget(mAddFolder);
    inputButtons->addWidget(mRemove);
    inputButtons->addStretch();
    auto* inputs = new QHBoxLayout;
    inputs->addWidget(mInputs, 1);
    inputs->addLayout(inputButtons);
    auto* layout = new QHBoxLayout;
    layout->addWidget(mLayoutFile, 1);
    layout->addWidget(mChooseLayoutFile);
    layout->addWidget(mChooseLayoutFolder);
    auto* out = new QHBoxLayout;
    out->addWidget(mOutTable, 1);
    out->addWidget(mChooseOutTable);
    auto* form = new QFormLayout;
    form->addRow("图片、PDF或文件夹", inputs);
    form->addRow("版式", layout);
    form->addRow(mIdLabelCaption, mIdLabel);
    form->addRow("输出DBF表", out);
    form->addRow("科目", mSubject);
    auto* figures = new QHBoxLayout;
    figures->addWidget(mPages, 1);
    figures->addWidget(mSpeed, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(mStart);
    buttons->addWidget(mCancel);
    buttons->addWidget(mReview);
    buttons->addWidget(mClose);
    auto* main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addWidget(mProgress);
    main->addLayout(figures);
    main->addWidget(mStatus);
    main->addWidget(mSummary, 1);
    main->addLayout(buttons);
}

void ScanDialog::connectControls() {
    connect(mAddFiles, &QPushButton::clicked, this, &ScanDialog::chooseFiles);
    connect(mAddFolder, &QPushButton::clicked, this, &ScanDialog::chooseFolder);
    connect(mRemove, &QPushButton::clicked, this, [this] {
        qDeleteAll(mInputs->selectedItems());
        followInputs();
    });
    connect(mChooseLayoutFile, &QPushButton::clicked, this, &ScanDialog::chooseLayoutFile);
    connect(mChooseLayoutFolder, &QPushButton::clicked, this, &ScanDialog::chooseLayoutFolder);
    connect(mLayoutFile, &QLineEdit::textChanged, this, &ScanDialog::followLayout);
    connect(mChooseOutTable, &QPushButton::clicked, this, &ScanDialog::chooseOut);
    connect(mOutTable, &QLineEdit::textEdited, this, [this] { mOutChosen = true; });
    connect(mStart, &QPushButton::clicked, this, &ScanDialog::start);
    connect(mCancel, &QPushButton::clicked, this, &ScanDialog::cancel);
    connect(mClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(mReview, &QPushButton::clicked, this, &ScanDialog::reviewScannedTable);
}

void ScanDialog::reviewScannedTable() {
    if (!mResult)
        return;
    const QString table = TextOf(mResult->table);
    QDialog::done(QDialog::Accepted);
    if (reviewTable)
        reviewTable(table);
}

ScanDialog::~ScanDialog() {
    if (!mThread)
        return;
    // The scan's thread may be waiting for an answer on this thread: the
    // events are let through until it has ended.
    mCancelAsked = true;
    while (!mThread->wait(20))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    delete mThread;
}

void ScanDialog::addInputs(const QStringList& paths) {
    for (const QString& path : paths)
        if (!path.isEmpty() && mInputs->findItems(path, Qt::MatchExactly).isEmpty())
            mInputs->addItem(path);
    followInputs();
}

void ScanDialog::followInputs() {
    if (mOutChosen || mInputs->count() == 0)
        return;
    mOutTable->setText(TextOf(TableBeside(PathOf(mInputs->item(0)->text()))));
}

void ScanDialog::followLayout() {
    const fs::path layout = PathOf(mLayoutFile->text().trimmed());
    std::error_code ec;
    const bool chosen =
        !layout.empty() && fs::is_regular_file(layout, ec) && IsTemplateFile(layout);
    mIdLabelCaption->setVisible(chosen);
    mIdLabel->setVisible(chosen);
    if (!chosen && !mTemplateChosen)
        return;
    mTemplateChosen = chosen;
    mIdLabel->clear();
    if (!chosen)
        return;
    mIdLabel->addItem(QString());
    try {
        const Layout loaded = LoadTemplate(layout);
        for (const auto& [name, fields] : loaded.bubbleTemplate->customLabels)
            mIdLabel->addItem(QString::fromStdString(name));
    } catch (const std::exception&) { // NOLINT(bugprone-empty-catch)
        // The template is refused, naming its key, when the scan starts.
    }
    mIdLabel->setCurrentIndex(0);
}

void ScanDialog::setLayoutFile(const QString& path) {
    mLayoutFile->setText(path);
}

ScanSettings ScanDialog::settings() const {
    ScanSettings s;
    for (int i = 0; i < mInputs->count(); ++i)
        s.inputs.push_back(PathOf(mInputs->item(i)->text()));
    s.layout = PathOf(mLayoutFile->text().trimmed());
    const QString out = mOutTable->text().trimmed();
    if (!out.isEmpty())
        s.out = fs::absolute(PathOf(out)).lexically_normal();
    s.subject = mSubject->text().trimmed().toStdString();
    if (mTemplateChosen)
        s.idLabel = mIdLabel->currentText().trimmed().toStdString();
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
        mStatus->setText(problem);
        return;
    }
    mResult.reset();
    mError.clear();
    mCancelAsked = false;
    mSummary->clear();
    mPages->clear();
    mSpeed->clear();
    mProgress->setRange(0, 0);
    mStatus->setText("正在扫描...");
    mThread = QThread::create([this, s] {
        WindowThreadUi ui(this, mUi, mCancelAsked);
        try {
            mResult = RunScan(mWs, s, ui, [this](const ScanProgress& p) {
                QMetaObject::invokeMethod(this, [this, p] { showProgress(p); });
                return !mCancelAsked;
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
    mCancelAsked = true;
    mCancel->setEnabled(false);
    mStatus->setText("正在取消...");
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
    const std::initializer_list<QWidget*> controls = {
        mInputs,           mAddFiles,           mAddFolder, mRemove,         mLayoutFile, mIdLabel,
        mChooseLayoutFile, mChooseLayoutFolder, mOutTable,  mChooseOutTable, mSubject,    mStart};
    for (QWidget* control : controls)
        control->setEnabled(!running);
    mCancel->setEnabled(running);
}

void ScanDialog::showProgress(const ScanProgress& p) {
    if (!mThread)
        return;
    const auto total = static_cast<int>(std::max(p.pagesTotal, p.pages));
    mPages->setText(p.totalKnown ? QString("已读 %1 / %2 页").arg(p.pages).arg(total)
                                 : QString("已读 %1 / 约 %2 页").arg(p.pages).arg(total));
    QString speed = QString("%1 页/秒").arg(p.pagesPerSecond, 0, 'f', 1);
    if (p.secondsLeft >= 0)
        speed += "，剩余约 " + Duration(p.secondsLeft);
    mSpeed->setText(speed);
    mProgress->setRange(0, std::max(total, 1));
    mProgress->setValue(static_cast<int>(p.pages));
}

void ScanDialog::endScan() {
    mThread->wait();
    delete mThread;
    mThread = nullptr;
    setRunning(false);
    if (mProgress->maximum() == 0)
        mProgress->setRange(0, 1);
    if (!mError.empty()) {
        mStatus->setText("扫描出错: " + QString::fromStdString(mError));
        mUi.message(mError, "扫描答题卡", core::Icon::Error);
    } else if (mResult && mResult->outcome == core::Outcome::Done) {
        mProgress->setValue(mProgress->maximum());
        mPages->setText(QString("已读 %1 页").arg(mResult->pages));
        const double seconds = static_cast<double>(mClock.elapsed()) / 1000;
        mSpeed->setText(
            QString("平均 %1 页/秒，用时 %2")
                .arg(seconds > 0 ? static_cast<double>(mResult->pages) / seconds : 0, 0, 'f', 1)
                .arg(Duration(seconds)));
        mStatus->setText("扫描完成，已写入 " + TextOf(mResult->table));
        showSummary(*mResult);
    } else if (mCancelAsked) {
        mStatus->setText("已取消：没有写入任何文件。");
    } else {
        QString why = "扫描没有进行。";
        if (mResult)
            for (const auto& line : mResult->problems)
                why += "\n" + QString::fromStdString(line);
        mStatus->setText(why);
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
    mSummary->setPlainText(lines.join('\n'));
    if (r.review > 0)
        offerReview(r);
    QStringList written;
    for (const auto& file : r.written)
        written << "已写入 " + TextOf(file);
    mSummary->appendPlainText(written.join('\n'));
}

void ScanDialog::offerReview(const ScanResult& r) {
    mSummary->appendPlainText(QString("有 %1 页需要复核，待复核的项目和原因见扫描记录 %2。")
                                  .arg(r.review)
                                  .arg(QString::fromStdString(ScanLogName(r.table))));
    mReview->setVisible(static_cast<bool>(reviewTable));
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
        mLayoutFile->setText(file);
}

void ScanDialog::chooseLayoutFolder() {
    const QString folder = QFileDialog::getExistingDirectory(this, "选择存放版式文件的文件夹");
    if (!folder.isEmpty())
        mLayoutFile->setText(folder);
}

void ScanDialog::chooseOut() {
    const QString file =
        QFileDialog::getSaveFileName(this, "输出DBF表", mOutTable->text(), "dBase 数据表 (*.dbf)");
    if (file.isEmpty())
        return;
    mOutTable->setText(file);
    mOutChosen = true;
}

} // namespace scan::forms
