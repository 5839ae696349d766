#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;

namespace app::forms {

// The custom SQL dialog "自定义SQL": one statement and whether it returns
// rows. Created once; keeps its text and check box for the rest of the run.
class SqlDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SqlDialog(QWidget* parent);

    // The statement as typed.
    [[nodiscard]] std::string statement() const;
    // Whether the statement is run as a query whose rows the grid shows.
    [[nodiscard]] bool returnsRows() const;

  private:
    QLineEdit* mStatement;
    QCheckBox* mReturnsRows;
};

} // namespace app::forms
