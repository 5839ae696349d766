#pragma once

#include "scan/SheetDesign.h"

#include <QDialog>

#include <filesystem>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace scan::forms {

// "文件 - 设计答题卡...": the settings of an answer sheet, a live preview of
// one page drawn by the sheet's own drawing code, and "保存PDF", which
// writes the PDF and its layout file side by side in a chosen folder.
class SheetDesignDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SheetDesignDialog(QWidget* parent);

    // The settings as the controls hold them.
    [[nodiscard]] SheetSettings settings() const;

    // Writes <id>.pdf and <id>.layout.json in `folder` and shows what was
    // written; a problem is shown in the dialog. Returns the PDF written.
    std::optional<std::filesystem::path> saveTo(const std::filesystem::path& folder);

    QSpinBox* seQuestions;
    QSpinBox* seOptions;
    QSpinBox* seMulti;
    QSpinBox* seMultiOptions;
    QSpinBox* seIdDigits;
    QLineEdit* edTitle;
    QLineEdit* edId;
    QComboBox* cbPaper;
    QSpinBox* sePerRow; // zero lets the design put as many blocks side by side as fit
    QSpinBox* sePages;
    QSpinBox* sePreviewPage;
    QLabel* lbPreview;
    QLabel* lbStatus;     // the settings' problem, or what was written
    QPushButton* btnSave; // "保存PDF"
    QPushButton* btnClose;

  private:
    void showPreview();
    void saveClick();

    std::optional<Layout> mLayout;
};

} // namespace scan::forms
