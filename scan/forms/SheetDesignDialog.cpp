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

QSpinBox* Spin(QWidget* parent, const char* name, int from, int to, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(from, to);
    spin->setValue(value);
    return spin;
}

constexpr double kPreviewDpi = 60;

} // namespace

SheetDesignDialog::SheetDesignDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("SheetDesignDialog");
    setWindowTitle("设计答题卡");
    const SheetSettings defaults;
    seQuestions = Spin(this, "seQuestions", 0, kMaxQuestions, 60);
    seOptions = Spin(this, "seOptions", kMinOptions, kMaxOptions, defaults.options);
    seMulti = Spin(this, "seMulti", 0, kMaxQuestions, 0);
    seMultiOptions = Spin(this, "seMultiOptions", kMinOptions, kMaxOptions, defaults.multiOptions);
    seIdDigits = Spin(this, "seIdDigits", 1, kMaxIdDigits, defaults.idDigits);
    edTitle = new QLineEdit(QString::fromStdString(defaults.title), this);
    edTitle->setObjectName("edTitle");
    edId = new QLineEdit("答题卡", this);
    edId->setObjectName("edId");
    cbPaper = new QComboBox(this);
    cbPaper->setObjectName("cbPaper");
    cbPaper->addItems({"A4", "A3"});
    sePerRow = Spin(this, "sePerRow", 0, 10, 0);
    sePerRow->setSpecialValueText("自动");
    sePages = Spin(this, "sePages", 1, 21, 1);
    sePreviewPage = Spin(this, "sePreviewPage", 1, 1, 1);
    lbPreview = new QLabel(this);
    lbPreview->setObjectName("lbPreview");
    lbPreview->setAlignment(Qt::AlignCenter);
    lbPreview->setMinimumSize(static_cast<int>(297 * kPreviewDpi / 25.4 * 0.75),
                              static_cast<int>(297 * kPreviewDpi / 25.4));
    lbStatus = new QLabel(this);
    lbStatus->setObjectName("lbStatus");
    lbStatus->setWordWrap(true);
    btnSave = new QPushButton("保存PDF", this);
    btnSave->setObjectName("btnSave");
    btnClose = new QPushButton("关闭", this);
    btnClose->setObjectName("btnClose");

    auto* form = new QFormLayout;
    form->addRow("标题", edTitle);
    form->addRow("单选题数", seQuestions);
    form->addRow("单选选项数", seOptions);
    form->addRow("多选题数", seMulti);
    form->addRow("多选选项数", seMultiOptions);
    form->addRow("考号位数", seIdDigits);
    form->addRow("纸张", cbPaper);
    form->addRow("每行题组数", sePerRow);
    form->addRow("页数", sePages);
    form->addRow("版式编号", edId);
    form->addRow("预览第几页", sePreviewPage);
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(lbStatus);
    left->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSave);
    buttons->addWidget(btnClose);
    left->addLayout(buttons);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left);
    main->addWidget(lbPreview, 1);

    for (QSpinBox* spin : {seQuestions, seOptions, seMulti, seMultiOptions, seIdDigits, sePerRow,
                           sePages, sePreviewPage})
        connect(spin, &QSpinBox::valueChanged, this, &SheetDesignDialog::showPreview);
    for (QLineEdit* edit : {edTitle, edId})
        connect(edit, &QLineEdit::textChanged, this, &SheetDesignDialog::showPreview);
    connect(cbPaper, &QComboBox::currentIndexChanged, this, &SheetDesignDialog::showPreview);
    connect(btnSave, &QPushButton::clicked, this, &SheetDesignDialog::saveClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    showPreview();
}

SheetSettings SheetDesignDialog::settings() const {
    SheetSettings s;
    s.questions = seQuestions->value();
    s.options = seOptions->value();
    s.multi = seMulti->value();
    s.multiOptions = seMultiOptions->value();
    s.idDigits = seIdDigits->value();
    s.title = edTitle->text().toStdString();
    s.id = edId->text().trimmed().toStdString();
    s.paper = cbPaper->currentIndex() == 1 ? Paper::A3 : Paper::A4;
    s.perRow = sePerRow->value();
    s.pages = sePages->value();
    return s;
}

void SheetDesignDialog::showPreview() {
    const SheetSettings s = settings();
    const auto problem = SettingsProblem(s);
    mLayout.reset();
    btnSave->setEnabled(!problem);
    if (problem) {
        lbStatus->setText(QString::fromStdString(*problem));
        lbPreview->clear();
        return;
    }
    mLayout = DesignSheet(s);
    lbStatus->clear();
    const int pages = static_cast<int>(mLayout->pages.size());
    {
        const QSignalBlocker quiet(sePreviewPage);
        sePreviewPage->setMaximum(pages);
    }
    const QImage page =
        RenderPage(*mLayout, static_cast<std::size_t>(sePreviewPage->value() - 1), kPreviewDpi);
    lbPreview->setPixmap(QPixmap::fromImage(page).scaled(
        lbPreview->minimumSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

std::optional<std::filesystem::path>
SheetDesignDialog::saveTo(const std::filesystem::path& folder) {
    if (!mLayout)
        return std::nullopt;
    try {
        const auto written = WriteSheet(*mLayout, folder / mLayout->id);
        lbStatus->setText(QString("已保存：%1\n%2")
                              .arg(QString::fromStdString(written.first.string()),
                                   QString::fromStdString(written.second.string())));
        return written.first;
    } catch (const LayoutError& e) {
        lbStatus->setText(QString::fromStdString(e.what()));
        return std::nullopt;
    }
}

void SheetDesignDialog::saveClick() {
    const QString folder = QFileDialog::getExistingDirectory(this, "保存答题卡到文件夹");
    if (!folder.isEmpty())
        (void)saveTo(folder.toStdString());
}

} // namespace scan::forms
