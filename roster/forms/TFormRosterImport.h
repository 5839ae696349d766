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
// "导入" accepts it; Options() then says what to import.
class TFormRosterImport : public QDialog {
    Q_OBJECT
  public:
    explicit TFormRosterImport(QWidget* parent);

    // Reads the list (its first worksheet) and shows it. Throws roster::Error
    // when it cannot be read.
    void Load(const std::filesystem::path& file);

    // The worksheet and a map for each field whose column is chosen.
    [[nodiscard]] ImportOptions Options() const;

    // The rows shown in the preview below the headings.
    static constexpr int kPreviewRows = 8;

    QLabel* Label1;        // the file
    QLabel* Label2;        // "工作表:"
    QComboBox* cbSheet;    // workbooks only
    QTableWidget* Preview; // the heading row and the first rows below it
    QLabel* FieldLabels[4];
    QComboBox* cbFields[4]; // 考号, 班级, 姓名, 科目: "(无)" or a column
    QPushButton* btnImport;
    QPushButton* btnCancel;

  private:
    void showRows();
    void sheetChosen();

    std::filesystem::path mFile;
    TextRows mRows;
    std::size_t mHeading = 0;
    bool mLoading = false;
};

} // namespace roster::forms
