#pragma once

#include "core/Ui.h"

#include <QElapsedTimer>
#include <functional>

class QProgressBar;
class QWidget;

namespace app::forms {

// The window's side of the core::Ui seam: message boxes owned by the window,
// Yes/No questions, the field-name dialog and a progress bar in the status
// bar. Progress lets the window repaint but takes no user input, so no other
// command can start meanwhile.
class QtUi : public core::Ui {
  public:
    QtUi(QWidget* owner, QProgressBar* bar) : mOwner(owner), mBar(bar) {}

    void message(const std::string& text, const std::string& title, core::Icon icon) override;
    bool question(const std::string& text, const std::string& title, core::GoOn goOn) override;
    std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override;
    bool editFieldNames(core::FieldSettings& fields) override;
    void progress(const std::string& what, long long done, long long total) override;
    void waiting(const std::string& text) override;

    // Shows the field-name dialog; true when it was closed with "确定".
    std::function<bool(core::FieldSettings&)> fieldDialog;
    // Set while a table is opened after a review wrote it: the re-import
    // question then has Yes, which shows the decisions, as its default.
    bool replaceByDefault = false;

  private:
    QWidget* mOwner;
    QProgressBar* mBar;
    QElapsedTimer mSincePaint;
};

} // namespace app::forms
