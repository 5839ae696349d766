#include "scan/forms/SheetDesignDialog.h"

#include "scan/SheetDrawing.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace scan::forms {
namespace {

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QSpinBox* Spin(QWidget* parent, const char* name, int from, int to, int value) {
    auto* spin = Named(new QSpinBox(parent), name);
    spin->setRange(from, to);
    spin->setValue(value);
    return spin;
}

constexpr double kPreviewDpi = 60;

} // namespace

SheetDesignDialog::SheetDesignDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("SheetDesignDialog");
    setWindowTitle("设计答题卡");
    createControls();
    layOutControls();
    connectControls();
    showPreview();
}

void SheetDesignDialog::createControls() {
    const SheetSettings defaults;
    mQuestions = Spin(this, "seQuestions", 0, kMaxQuestions, 60);
    mOptions = Spin(this, "seOptions", kMinOptions, kMaxOptions, defaults.options);
    mMultiQuestions = Spin(this, "seMulti", 0, kMaxQuestions, 0);
    mMultiOptions = Spin(this, "seMultiOptions", kMinOptions, kMaxOptions, defaults.multiOptions);
    mIdDigits = Spin(this, "seIdDigits", 1, kMaxIdDigits, defaults.idDigits);
    mTitle = Named(new QLineEdit(QString::fromStdString(defaults.title), this), "edTitle");
    mLayoutId = Named(new QLineEdit("答题卡", this), "edId");
    mPaper = Named(new QComboBox(this), "cbPaper");
    mPaper->addItems({"A4", "A3"});
    mBlocksPerRow = Spin(this, "sePerRow", 0, 10, 0);
    mBlocksPerRow->setSpecialValueText("自动");
    mPages = Spin(this, "sePages", 1, 21, 1);
    mPreviewPage = Spin(this, "sePreviewPage", 1, 1, 1);
    mPreview = Named(new QLabel(this), "lbPreview");
    mPreview->setAlignment(Qt::AlignCenter);
    mPreview->setMinimumSize(static_cast<int>(297 * kPreviewDpi / 25.4 * 0.75),
                             static_cast<int>(297 * kPreviewDpi / 25.4));
    mStatus = Named(new QLabel(this), "lbStatus");
    mStatus->setWordWrap(true);
    mSave = Named(new QPushButton("保存PDF", this), "btnSave");
    mClose = Named(new QPushButton("关闭", this), "btnClose");
}

void SheetDesignDialog::layOutControls() {
    auto* form = new QFormLayout;
    form->addRow("标题", mTitle);
    form->addRow("单选题数", mQuestions);
    form->addRow("单选选项数", mOptions);
    form->addRow("多选题数", mMultiQuestions);
    form->addRow("多选选项数", mMultiOptions);
    form->addRow("考号位数", mIdDigits);
    form->addRow("纸张", mPaper);
    form->addRow("每行题组数", mBlocksPerRow);
    form->addRow("页数", mPages);
    form->addRow("版式编号", mLayoutId);
    form->addRow("预览第几页", mPreviewPage);
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(mStatus);
    left->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(mSave);
    buttons->addWidget(mClose);
    left->addLayout(buttons);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left);
    main->addWidget(mPreview, 1);
}

void SheetDesignDialog::connectControls() {
    for (QSpinBox* spin : {mQuestions, mOptions, mMultiQuestions, mMultiOptions, mIdDigits,
                           mBlocksPerRow, mPages, mPreviewPage})
        connect(spin, &QSpinBox::valueChanged, this, &SheetDesignDialog::showPreview);
    for (QLineEdit* edit : {mTitle, mLayoutId})
        connect(edit, &QLineEdit::textChanged, this, &SheetDesignDialog::showPreview);
    connect(mPaper, &QComboBox::currentIndexChanged, this, &SheetDesignDialog::showPreview);
    connect(mSave, &QPushButton::clicked, this, &SheetDesignDialog::saveClick);
    connect(mClose, &QPushButton::clicked, this, &QDialog::reject);
}

SheetSettings SheetDesignDialog::settings() const {
    SheetSettings s;
    s.questions = mQuestions->value();
    s.options = mOptions->value();
    s.multi = mMultiQuestions->value();
    s.multiOptions = mMultiOptions->value();
    s.idDigits = mIdDigits->value();
    s.title = mTitle->text().toStdString();
    s.id = mLayoutId->text().trimmed().toStdString();
    s.paper = mPaper->currentIndex() == 1 ? Paper::A3 : Paper::A4;
    s.perRow = mBlocksPerRow->value();
    s.pages = mPages->value();
    return s;
}

void SheetDesignDialog::showPreview() {
    const SheetSettings s = settings();
    const auto problem = SettingsProblem(s);
    mLayout.reset();
    mSave->setEnabled(!problem);
    if (problem) {
        mStatus->setText(QString::fromStdString(*problem));
        mPreview->clear();
        return;
    }
    mLayout = DesignSheet(s);
    mStatus->clear();
    const int pages = static_cast<int>(mLayout->pages.size());
    {
        const QSignalBlocker quiet(mPreviewPage);
        mPreviewPage->setMaximum(pages);
    }
    const QImage page =
        RenderPage(*mLayout, static_cast<std::size_t>(mPreviewPage->value() - 1), kPreviewDpi);
    mPreview->setPixmap(QPixmap::fromImage(page).scaled(
        mPreview->minimumSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

std::optional<std::filesystem::path>
SheetDesignDialog::saveTo(const std::filesystem::path& folder) {
    if (!mLayout)
        return std::nullopt;
    try {
        const auto written = WriteSheet(*mLayout, folder / mLayout->id);
        mStatus->setText(QString("已保存：%1\n%2")
                             .arg(QString::fromStdString(written.first.string()),
                                  QString::fromStdString(written.second.string())));
        return written.first;
    } catch (const LayoutError& e) {
        mStatus->setText(QString::fromStdString(e.what()));
        return std::nullopt;
    }
}

void SheetDesignDialog::saveClick() {
    const QString folder = QFileDialog::getExistingDirectory(this, "保存答题卡到文件夹");
    if (!folder.isEmpty())
        (void)saveTo(folder.toStdString());
}

} // namespace scan::forms
