#pragma once

#include <QDialog>

class QLabel;
class QLayout;

namespace os {
class Shell;
}

namespace app::forms {

// The about box "关于Brevanto": product, version, the maker's lines, the
// operating system (worked out once) and the free memory (at every showing).
// Created on first use and kept.
class AboutBox : public QDialog {
    Q_OBJECT
  public:
    AboutBox(QWidget* parent, os::Shell& shell);

    // The free memory as it is now, as every showing does.
    void showFreeMemory();
    // A click on the mail address: a mail to it through the shell.
    void writeMail();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLayout* productLines();
    QLayout* machineLines();

    QLabel* mMail;
    QLabel* mFreeMemory;
    os::Shell& mShell;
};

} // namespace app::forms
