#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace app::forms {

// The custom SQL dialog "自定义SQL": one statement and whether it returns
// rows. Created once; keeps its text and check box for the rest of the run.
class TFormSql : public QDialog {
    Q_OBJECT
  public:
    explicit TFormSql(QWidget* parent);

    QLabel* Label1;
    QLineEdit* edtSql;
    QCheckBox* ckbSql;
    QPushButton* Button1;
    QPushButton* Button2;
};

} // namespace app::forms
