#pragma once

#include "platform/text/Encoding.h"

#include <QWidget>
#include <filesystem>
#include <optional>
#include <string>

class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace os {
class Shell;
}

namespace app::forms {

// The program's own window for a text report it wrote: the file decoded as
// it was written (GBK or UTF-8), in a monospaced font with Chinese glyphs so
// that the columns line up, under its full path, with buttons that hand the
// folder or the file to the desktop (`outside`, which must outlive the
// viewer). A top-level window that does not block the main window; made
// without a parent, a dialog modal to the main window does not block it
// either. It follows the file on disk: a rewrite, also one that replaces the
// file by rename as the reports are written, is shown within a moment, at the
// same scroll position.
class TextViewer : public QWidget {
    Q_OBJECT
  public:
    TextViewer(os::Shell& outside, QWidget* parent = nullptr);

    // Reads the file (again) and shows it; `expected` is the encoding the
    // reports are written in. A file that cannot be read is said in the text.
    // From then on the file is watched.
    void showFile(const std::filesystem::path& file, text::Encoding expected);

    [[nodiscard]] const std::filesystem::path& file() const { return mFile; }
    // The text as shown, and the encoding it was read in.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] text::Encoding shownEncoding() const { return mEncoding; }

    // A monospaced font with Chinese glyphs twice as wide as ASCII:
    // "WenQuanYi Micro Hei Mono" when installed, else the system's fixed font.
    [[nodiscard]] static QFont ReportFont();

    void openFolder();  // "打开所在文件夹"
    void openOutside(); // "用其他程序打开"

  private:
    // Shows the bytes of the file, decoded.
    void showBytes(const std::string& bytes);
    // Watches the file and its folder; a file replaced by rename is a new
    // file that the watch has lost, and is watched again.
    void watchFile();
    // The file as it is on disk now, at the same scroll position; nothing
    // changes while the file is missing or holds what is shown.
    void reloadFromDisk();

    QLineEdit* mPath;
    QLabel* mEncodingLine;
    QPlainTextEdit* mText;
    QPushButton* mOpenFolder;
    QPushButton* mOpenOutside;
    QPushButton* mClose;

    os::Shell& mOutside;
    std::filesystem::path mFile;
    text::Encoding mExpected = text::Encoding::Gbk;
    text::Encoding mEncoding = text::Encoding::Gbk;
    std::optional<std::string> mShownBytes; // none when the file could not be read
    QFileSystemWatcher* mWatcher;
    QTimer* mReload; // a burst of changes (a write, then a rename) reads the file once
};

} // namespace app::forms
