#pragma once

#include "roster/Import.h"

#include <QDialog>
#include <filesystem>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace roster::forms {

// The mapping dialog of "导入学生名单...": the first rows of a class list
// below its heading row, the worksheet (for workbooks) and the column of
// each field of `ids`, filled with the columns recognised by their headings.
// "导入" accepts it; options() then says what to import.
class RosterImportDialog : public QDialog {
    Q_OBJECT
  public:
    explicit RosterImportDialog(QWidget* parent);

    // Reads the list (its first worksheet) and shows it. Throws roster::Error
    // when it cannot be read.
    void load(const std::filesystem::path& file);

    // The worksheet and a map for each field whose column is chosen.
    [[nodiscard]] ImportOptions options() const;

    // The rows shown in the preview below the headings.
    static constexpr int kPreviewRows = 8;

  private:
    QLabel* mFileCaption;   // "学生名单: " and the file
    QLabel* mSheetCaption;  // "工作表:"
    QComboBox* mSheet;      // workbooks only
    QTableWidget* mPreview; // the heading row and the first rows below it
    QLabel* mFieldCaptions[4];
    QComboBox* mFieldColumns[4]; // 考号, 班级, 姓名, 科目: "(无)" or a column
    QPushButton* mImport;
    QPushButton* mCancel;

    void showRows();
    void readChosenSheet();

    std::filesystem::path mFile;
    TextRows mRows;
    std::size_t mHeading = 0;
    bool mLoading = false;
};

} // namespace roster::forms
