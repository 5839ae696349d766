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
// writes the PDF and its layout file side by side in a chosen folder. Its
// widgets keep their designer names as object names, for tests.
class SheetDesignDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SheetDesignDialog(QWidget* parent);

    // The settings as the controls hold them.
    [[nodiscard]] SheetSettings settings() const;

    // Writes <id>.pdf and <id>.layout.json in `folder` and shows what was
    // written; a problem is shown in the dialog. Returns the PDF written.
    std::optional<std::filesystem::path> saveTo(const std::filesystem::path& folder);

  private:
    void createControls();
    void layOutControls();
    void connectControls();
    void showPreview();
    void saveClick();

    QSpinBox* mQuestions; // single-choice questions
    QSpinBox* mOptions;
    QSpinBox* mMultiQuestions;
    QSpinBox* mMultiOptions;
    QSpinBox* mIdDigits;
    QLineEdit* mTitle;
    QLineEdit* mLayoutId; // names the PDF and the layout file
    QComboBox* mPaper;
    QSpinBox* mBlocksPerRow; // zero lets the design put as many blocks side by side as fit
    QSpinBox* mPages;
    QSpinBox* mPreviewPage;
    QLabel* mPreview;
    QLabel* mStatus;    // the settings' problem, or what was written
    QPushButton* mSave; // "保存PDF"
    QPushButton* mClose;

    std::optional<Layout> mLayout;
};

} // namespace scan::forms
