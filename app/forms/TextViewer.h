#pragma once

#include "platform/text/Encoding.h"

#include <QWidget>
#include <filesystem>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace os {
class Shell;
}

namespace app::forms {

// The program's own window for a text report it wrote: the file decoded as
// it was written (GBK or UTF-8), in a monospaced font with Chinese glyphs so
// that the columns line up, under its full path, with buttons that hand the
// folder or the file to the desktop (`outside`, which must outlive the
// viewer). A top-level window that does not block the main window.
class TextViewer : public QWidget {
    Q_OBJECT
  public:
    TextViewer(os::Shell& outside, QWidget* parent = nullptr);

    // Reads the file (again) and shows it; `expected` is the encoding the
    // reports are written in. A file that cannot be read is said in the text.
    void showFile(const std::filesystem::path& file, text::Encoding expected);

    [[nodiscard]] const std::filesystem::path& file() const { return mFile; }
    // The text as shown, and the encoding it was read in.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] text::Encoding shownEncoding() const { return mEncoding; }

    // A monospaced font with Chinese glyphs twice as wide as ASCII:
    // "WenQuanYi Micro Hei Mono" when installed, else the system's fixed font.
    [[nodiscard]] static QFont ReportFont();

    void OpenFolderClick();  // "打开所在文件夹"
    void OpenOutsideClick(); // "用其他程序打开"

  private:
    QLineEdit* PathEdit;
    QLabel* EncodingLabel;
    QPlainTextEdit* TextView;
    QPushButton* OpenFolderButton;
    QPushButton* OpenOutsideButton;
    QPushButton* CloseButton;

    os::Shell& mOutside;
    std::filesystem::path mFile;
    text::Encoding mEncoding = text::Encoding::Gbk;
};

} // namespace app::forms
