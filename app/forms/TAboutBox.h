#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace os {
class Shell;
}

namespace app::forms {

// The about box "关于Brevanto": product, version, the maker's lines, the
// operating system (worked out once) and the free memory (at every showing).
// Created on first use and kept.
class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    TAboutBox(QWidget* parent, os::Shell& shell);

    void FormShow();
    void Label6Click();

    QLabel* Image1;
    QLabel* ProductName;
    QLabel* Label1;
    QLabel* Label4;
    QLabel* Label6;
    QFrame* Bevel1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* HomeLabel; // where data.mdb, config.ini and the reports are
    QPushButton* Button1;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    os::Shell& mShell;
};

} // namespace app::forms
