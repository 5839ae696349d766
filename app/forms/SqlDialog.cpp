#include "app/forms/SqlDialog.h"

#include "app/forms/DialogSize.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace app::forms {

SqlDialog::SqlDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormSql");
    setWindowTitle("自定义SQL");
    auto* prompt = new QLabel("输入要执行的SQL语句: ", this);
    prompt->setObjectName("Label1");
    mStatement = new QLineEdit(this);
    mStatement->setObjectName("edtSql");
    mReturnsRows = new QCheckBox("有返回结果集 ", this);
    mReturnsRows->setObjectName("ckbSql");
    mReturnsRows->setChecked(true);
    auto* ok = new QPushButton("确定", this);
    ok->setObjectName("Button1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("取消", this);
    cancel->setObjectName("Button2");
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(21);
    buttons->addStretch(1);
    for (QPushButton* button : {ok, cancel}) {
        button->setMinimumSize(DesignedButton);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 18);
    layout->setSpacing(8);
    layout->addWidget(prompt);
    layout->addWidget(mStatement);
    layout->addSpacing(6);
    layout->addWidget(mReturnsRows);
    layout->addStretch(1);
    layout->addLayout(buttons);
    FixDesignedSize(this, {346, 183});
}

std::string SqlDialog::statement() const {
    return mStatement->text().toStdString();
}

bool SqlDialog::returnsRows() const {
    return mReturnsRows->isChecked();
}

} // namespace app::forms
