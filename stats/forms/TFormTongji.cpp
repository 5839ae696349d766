#include "stats/forms/TFormTongji.h"

#include <QLabel>

namespace stats::forms {

TFormTongji::TFormTongji(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormTongji");
    setWindowTitle("分班统计");
    setFixedSize(400, 300);
    mNotice = new QLabel("分班统计尚未实现。", this);
    mNotice->setObjectName("Notice");
    mNotice->setGeometry(16, 16, 360, 20);
}

} // namespace stats::forms
