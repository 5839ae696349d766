#include "app/forms/TFormSql.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace app::forms {

TFormSql::TFormSql(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormSql");
    setWindowTitle("自定义SQL");
    setFixedSize(346, 183);
    Label1 = new QLabel("输入要执行的SQL语句: ", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(16, 16, 300, 16);
    edtSql = new QLineEdit(this);
    edtSql->setObjectName("edtSql");
    edtSql->setGeometry(16, 40, 314, 22);
    ckbSql = new QCheckBox("有返回结果集 ", this);
    ckbSql->setObjectName("ckbSql");
    ckbSql->setGeometry(16, 76, 200, 20);
    ckbSql->setChecked(true);
    Button1 = new QPushButton("确定", this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(88, 140, 75, 25);
    Button1->setDefault(true);
    Button2 = new QPushButton("取消", this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(184, 140, 75, 25);
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

} // namespace app::forms
