#pragma once

#include <QDialog>

class QLabel;

namespace stats::forms {

// The class-statistics dialog "分班统计". Created once at start-up and kept
// for the whole run; its controls and the statistics run come with the
// class statistics.
class TFormTongji : public QDialog {
    Q_OBJECT
public:
    explicit TFormTongji(QWidget* parent);

private:
    QLabel* mNotice;
};

} // namespace stats::forms
