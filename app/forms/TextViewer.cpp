#include "app/forms/TextViewer.h"

#include "platform/os/Shell.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

namespace app::forms {
namespace {

constexpr const char* kReportFamily = "WenQuanYi Micro Hei Mono";
// How long a change on disk settles before the file is read again.
constexpr int kReloadDelayMs = 200;

// The bytes of the file, or nothing with the reason in `why`.
std::optional<std::string> ReadBytes(const std::filesystem::path& file, std::string& why) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    return bytes;
}

// Keeps the columns of a report lined up as its file lays them out: a
// character outside ASCII takes two columns there (two bytes in GBK), but a
// font with Chinese glyphs rarely makes it exactly twice as wide as an ASCII
// one ("WenQuanYi Micro Hei Mono": 1 em against 0.6 em). Each such character
// gets the letter spacing that makes up the difference, as a percentage of
// its own width, so that it holds at any zoom.
class ColumnKeeper : public QSyntaxHighlighter {
  public:
    ColumnKeeper(QTextDocument* document, const QFont& font)
        : QSyntaxHighlighter(document), mMetrics(font),
          mColumn(mMetrics.horizontalAdvance(QChar('0'))) {}

  protected:
    void highlightBlock(const QString& line) override {
        const auto n = line.size();
        for (qsizetype i = 0; i < n;) {
            if (line.at(i).unicode() < 0x80) {
                ++i;
                continue;
            }
            const qsizetype length = line.at(i).isHighSurrogate() && i + 1 < n ? 2 : 1;
            const qreal spacing = spacingOf(line.mid(i, length));
            if (spacing != 100)
                setFormat(static_cast<int>(i), static_cast<int>(length), formatOf(spacing));
            i += length;
        }
    }

  private:
    // The spacing, in percent of the character's own advance, that makes it two columns wide.
    qreal spacingOf(const QString& character) {
        auto it = mSpacing.find(character);
        if (it == mSpacing.end()) {
            const qreal advance = mMetrics.horizontalAdvance(character);
            it = mSpacing.insert(character, advance > 0 ? 100 * 2 * mColumn / advance : 100);
        }
        return *it;
    }

    static QTextCharFormat formatOf(qreal percent) {
        QTextCharFormat format;
        format.setFontLetterSpacingType(QFont::PercentageSpacing);
        format.setFontLetterSpacing(percent);
        return format;
    }

    QFontMetricsF mMetrics;
    qreal mColumn; // the advance of one ASCII character
    QHash<QString, qreal> mSpacing;
};

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

QFont TextViewer::ReportFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontDatabase::families().contains(kReportFamily))
        font.setFamilies({kReportFamily});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(14);
    return font;
}

TextViewer::TextViewer(os::Shell& outside, QWidget* parent)
    : QWidget(parent, Qt::Window), mOutside(outside) {
    setObjectName("TextViewer");
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false); // the program ends with its main window
    resize(760, 560);

    mPath = new QLineEdit(this);
    mPath->setObjectName("PathEdit");
    mPath->setReadOnly(true);
    mEncodingLine = new QLabel(this);
    mEncodingLine->setObjectName("EncodingLabel");
    mText = new QPlainTextEdit(this);
    mText->setObjectName("TextView");
    mText->setReadOnly(true);
    mText->setLineWrapMode(QPlainTextEdit::NoWrap);
    mText->setFont(ReportFont());
    new ColumnKeeper(mText->document(), mText->font());
    mOpenFolder = Button(this, "OpenFolderButton", "打开所在文件夹");
    mOpenOutside = Button(this, "OpenOutsideButton", "用其他程序打开");
    mClose = Button(this, "CloseButton", "关闭");

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("文件:", this));
    top->addWidget(mPath, 1);
    top->addWidget(mEncodingLine);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(mOpenFolder);
    buttons->addWidget(mOpenOutside);
    buttons->addStretch(1);
    buttons->addWidget(mClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(mText, 1);
    layout->addLayout(buttons);

    connect(mOpenFolder, &QPushButton::clicked, this, &TextViewer::openFolder);
    connect(mOpenOutside, &QPushButton::clicked, this, &TextViewer::openOutside);
    connect(mClose, &QPushButton::clicked, this, &QWidget::close);

    mWatcher = new QFileSystemWatcher(this);
    mReload = new QTimer(this);
    mReload->setSingleShot(true);
    mReload->setInterval(kReloadDelayMs);
    connect(mWatcher, &QFileSystemWatcher::fileChanged, mReload, qOverload<>(&QTimer::start));
    connect(mWatcher, &QFileSystemWatcher::directoryChanged, mReload, qOverload<>(&QTimer::start));
    connect(mReload, &QTimer::timeout, this, &TextViewer::reloadFromDisk);
}

void TextViewer::showFile(const std::filesystem::path& file, text::Encoding expected) {
    if (file != mFile) {
        const QStringList watched = mWatcher->files() + mWatcher->directories();
        if (!watched.isEmpty())
            mWatcher->removePaths(watched);
    }
    mFile = file;
    mExpected = expected;
    const QString path = QString::fromStdString(file.string());
    setWindowTitle(QString::fromStdString(file.filename().string()) + " - Quillory");
    mPath->setText(path);
    mPath->setCursorPosition(0);
    watchFile();
    std::string why;
    const auto bytes = ReadBytes(file, why);
    if (!bytes) {
        mShownBytes.reset();
        mEncoding = expected;
        mEncodingLine->clear();
        mText->setPlainText("不能读取文件 " + path + ": " + QString::fromStdString(why));
        return;
    }
    showBytes(*bytes);
}

void TextViewer::showBytes(const std::string& bytes) {
    mShownBytes = bytes;
    const text::DecodedText decoded = text::DecodeText(bytes, mExpected);
    mEncoding = decoded.encoding;
    mEncodingLine->setText(QString("编码: ") + text::EncodingName(decoded.encoding));
    // The reports end their lines with CR LF; the view wants line feeds.
    QString shown = QString::fromStdString(decoded.utf8);
    shown.remove(QChar('\r'));
    mText->setPlainText(shown);
}

void TextViewer::watchFile() {
    const QString file = QString::fromStdString(mFile.string());
    const QString folder = QString::fromStdString(mFile.parent_path().string());
    if (!mWatcher->directories().contains(folder) && QFileInfo(folder).isDir())
        mWatcher->addPath(folder);
    if (!mWatcher->files().contains(file) && QFileInfo::exists(file))
        mWatcher->addPath(file);
}

void TextViewer::reloadFromDisk() {
    watchFile();
    std::string why;
    const auto bytes = ReadBytes(mFile, why);
    if (!bytes || bytes == mShownBytes)
        return;
    QScrollBar* down = mText->verticalScrollBar();
    QScrollBar* across = mText->horizontalScrollBar();
    const int top = down->value();
    const int left = across->value();
    showBytes(*bytes);
    down->setValue(top);
    across->setValue(left);
}

QString TextViewer::shownText() const {
    return mText->toPlainText();
}

void TextViewer::openFolder() {
    if (!mFile.empty())
        mOutside.open(mFile.parent_path().string());
}

void TextViewer::openOutside() {
    if (!mFile.empty())
        mOutside.open(mFile.string());
}

} // namespace app::forms
