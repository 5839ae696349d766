// The reader's inputs: the layouts, the files named and the pages in them,
// and a page's picture decoded.
#include "scan/Painting.h"
#include "scan/Reader.h"
#include "scan/Template.h"

#include <opencv2/imgproc.hpp>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <tiffio.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPdfDocument>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace scan {
namespace {

namespace fs = std::filesystem;

// The largest picture read: some 64 million pixels (an A3 page at 600 dpi
// is 70% of it). Anything larger is refused by its header before it is
// decoded.
constexpr double kMostPixels = 64e6;
// The largest input file read whole into memory.
constexpr std::uintmax_t kMostFileBytes = 512u << 20;
// PDF pages that are not one picture are drawn at this resolution.
constexpr double kPdfDpi = 200;
// A JPEG this large on its longer side is decoded at half its size
// (still 150 dpi for a 300 dpi A4 scan).
constexpr int kHalveFromSide = 3000;

std::string Utf8(const fs::path& p) {
    return reinterpret_cast<const char*>(p.u8string().c_str());
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "2.jpg" before "10.jpg": runs of digits compare by their value.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && digit(a[ie]))
                ++ie;
            while (je < b.size() && digit(b[je]))
                ++je;
            std::size_t is = i, js = j;
            while (is + 1 < ie && a[is] == '0')
                ++is;
            while (js + 1 < je && b[js] == '0')
                ++js;
            if (ie - is != je - js)
                return ie - is < je - js;
            const int c = a.compare(is, ie - is, b, js, je - js);
            if (c != 0)
                return c < 0;
            i = ie;
            j = je;
            continue;
        }
        const int ca = std::tolower(static_cast<unsigned char>(a[i])),
                  cb = std::tolower(static_cast<unsigned char>(b[j]));
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();
    return a < b;
}

std::vector<fs::path> FilesOf(const fs::path& folder, bool (*wanted)(const fs::path&)) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && wanted(entry.path()))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return NaturalLess(Utf8(a.filename()), Utf8(b.filename()));
    });
    return files;
}

bool IsPageFile(const fs::path& p) {
    const std::string ext = Lower(Utf8(p.extension()));
    return ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".tif" || ext == ".tiff" ||
           ext == ".pdf";
}

bool IsLayoutFile(const fs::path& p) {
    const std::string name = Lower(Utf8(p.filename()));
    return name.size() > 12 && name.compare(name.size() - 12, 12, ".layout.json") == 0;
}

enum class Kind { Jpeg, Png, Tiff, Pdf, Other };

// A PNG's first eight bytes, as bytes: 0x89 is not a char's value.
constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

Kind KindOf(const std::uint8_t* b, std::size_t n) {
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return Kind::Jpeg;
    if (n >= 8 && std::equal(b, b + 8, kPngSignature))
        return Kind::Png;
    if (n >= 4 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                   (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)))
        return Kind::Tiff;
    if (n >= 5 && std::memcmp(b, "%PDF-", 5) == 0)
        return Kind::Pdf;
    return Kind::Other;
}

// The width and height a PNG or JPEG header gives; {0, 0} when it gives none.
std::pair<long, long> HeaderSize(const std::uint8_t* b, std::size_t n, Kind kind) {
    if (kind == Kind::Png) {
        if (n < 24 || std::memcmp(b + 12, "IHDR", 4) != 0)
            return {0, 0};
        const auto be32 = [&](std::size_t at) {
            return (long{b[at]} << 24) | (long{b[at + 1]} << 16) | (long{b[at + 2]} << 8) |
                   long{b[at + 3]};
        };
        return {be32(16), be32(20)};
    }
    // JPEG: the segments up to the frame header, which holds the size.
    std::size_t i = 2;
    while (i + 1 < n) {
        if (b[i] != 0xFF)
            return {0, 0};
        while (i < n && b[i] == 0xFF)
            ++i;
        if (i + 2 >= n)
            return {0, 0};
        const std::uint8_t marker = b[i];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            ++i;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            return {0, 0};
        const std::size_t length = (std::size_t{b[i + 1]} << 8) | b[i + 2];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            if (i + 7 >= n)
                return {0, 0};
            return {(long{b[i + 6]} << 8) | b[i + 7], (long{b[i + 4]} << 8) | b[i + 5]};
        }
        if (length < 2)
            return {0, 0};
        i += 1 + length;
    }
    return {0, 0};
}

std::string TooLarge(long w, long h) {
    return "图片太大: " + std::to_string(w) + " x " + std::to_string(h) + " 像素，最多读取 " +
           std::to_string(static_cast<long>(kMostPixels / 1e6)) + " 百万像素";
}

bool ReadWhole(const fs::path& file, std::vector<std::uint8_t>& bytes, std::string& problem) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) {
        problem = "文件无法打开: " + ec.message();
        return false;
    }
    if (size == 0) {
        problem = "文件是空的 (0 字节)";
        return false;
    }
    if (size > kMostFileBytes) {
        problem = "文件太大: " + std::to_string(size >> 20) + " MB";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    bytes.resize(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        problem = "文件无法读取";
        return false;
    }
    return true;
}

void Silent(const char*, const char*, va_list) {}

// The JPEG a copier made the page of: the page's one picture, stored as a
// JPEG and covering the page, with no text on it; nothing otherwise.
std::optional<std::vector<std::uint8_t>> PageJpeg(QPDFPageObjectHelper& page) {
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    if (!resources.isDictionary())
        return std::nullopt;
    QPDFObjectHandle fonts = resources.getKey("/Font");
    if (fonts.isDictionary() && !fonts.getKeys().empty())
        return std::nullopt;
    QPDFObjectHandle objects = resources.getKey("/XObject");
    if (!objects.isDictionary() || objects.getKeys().size() != 1)
        return std::nullopt;
    const auto images = page.getImages();
    if (images.size() != 1)
        return std::nullopt;
    QPDFObjectHandle image = images.begin()->second;
    QPDFObjectHandle dict = image.getDict();
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1)
        filter = filter.getArrayItem(0);
    if (!filter.isName() || filter.getName() != "/DCTDecode")
        return std::nullopt;
    QPDFObjectHandle w = dict.getKey("/Width"), h = dict.getKey("/Height");
    const QPDFObjectHandle::Rectangle box = page.getMediaBox().getArrayAsRectangle();
    const double pw = std::fabs(box.urx - box.llx), ph = std::fabs(box.ury - box.lly);
    if (!w.isInteger() || !h.isInteger() || w.getIntValue() <= 0 || h.getIntValue() <= 0 ||
        pw <= 0 || ph <= 0)
        return std::nullopt;
    const double imageShape = static_cast<double>(w.getIntValue()) / h.getIntValue();
    if (std::fabs(imageShape / (pw / ph) - 1) > 0.05 &&
        std::fabs(imageShape / (ph / pw) - 1) > 0.05)
        return std::nullopt;
    const std::shared_ptr<Buffer> data = image.getRawStreamData();
    return std::vector<std::uint8_t>(data->getBuffer(), data->getBuffer() + data->getSize());
}

} // namespace

LayoutSet::LayoutSet(std::vector<Layout> layouts) : layouts_(std::move(layouts)) {}

LayoutSet LayoutSet::Load(const fs::path& fileOrFolder, const std::string& idLabel) {
    std::error_code ec;
    if (!fs::is_directory(fileOrFolder, ec) && IsTemplateFile(fileOrFolder))
        return LayoutSet({LoadTemplate(fileOrFolder, idLabel)});
    if (!fs::is_directory(fileOrFolder, ec))
        return LayoutSet({LoadLayout(fileOrFolder)});
    std::vector<Layout> layouts;
    for (const fs::path& file : FilesOf(fileOrFolder, IsLayoutFile))
        layouts.push_back(LoadLayout(file));
    if (layouts.empty())
        throw LayoutError(Utf8(fileOrFolder) + ": 文件夹里没有版式文件 (*.layout.json)");
    return LayoutSet(std::move(layouts));
}

const Layout* LayoutSet::find(const std::string& id) const {
    for (const Layout& l : layouts_)
        if (l.id == id)
            return &l;
    return nullptr;
}

int LayoutSet::questionCount() const {
    int most = 0;
    for (const Layout& l : layouts_) {
        int n = 0;
        for (const Page& p : l.pages)
            n += static_cast<int>(p.questions.size());
        most = std::max(most, n);
    }
    return most;
}

int LayoutSet::digitCount() const {
    int most = 0;
    for (const Layout& l : layouts_)
        for (const Page& p : l.pages)
            most = std::max(most, static_cast<int>(p.examNumber.size()));
    return most;
}

std::vector<fs::path> InputFiles(const std::vector<fs::path>& inputs) {
    std::vector<fs::path> files;
    for (const fs::path& input : inputs) {
        std::error_code ec;
        const fs::file_status status = fs::status(input, ec);
        if (ec || !fs::exists(status))
            throw std::runtime_error("找不到输入: " + Utf8(input));
        if (fs::is_directory(status)) {
            const auto found = FilesOf(input, IsPageFile);
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back(input);
        }
    }
    return files;
}

struct PageInput::State {
    fs::path file;
    Kind kind = Kind::Other;
    int next = 0;  // the page to give next, from 0
    int pages = 0; // pages of the file
    bool numbered = false;
    std::string problem; // the file does not open: given once as its only page
    std::vector<std::uint8_t> bytes;
    TIFF* tiff = nullptr;
    std::unique_ptr<QPDF> pdf;
    std::vector<QPDFPageObjectHelper> pdfPages;
    std::unique_ptr<QPdfDocument> drawn;

    PageData Page(std::string problem = {}) const {
        PageData d;
        d.source = {file, numbered ? next + 1 : 0};
        d.problem = std::move(problem);
        return d;
    }

    void openTiff() {
        // A TIFF whose first directory is at 0 has no pages.
        const bool little = bytes[0] == 'I';
        const auto at = [&](std::size_t i) { return std::uint32_t{bytes[i]}; };
        const std::uint32_t first = bytes.size() < 8 ? 0
                                    : little ? at(4) | at(5) << 8 | at(6) << 16 | at(7) << 24
                                             : at(7) | at(6) << 8 | at(5) << 16 | at(4) << 24;
        if (first == 0 && bytes.size() >= 8 && !(bytes[2] == 43 || bytes[3] == 43)) {
            problem = "TIFF 文件里没有页面";
            return;
        }
        static const bool quiet = [] {
            TIFFSetErrorHandler(Silent);
            TIFFSetWarningHandler(Silent);
            return true;
        }();
        (void)quiet;
        bytes.clear();
        bytes.shrink_to_fit();
        tiff = TIFFOpen(file.c_str(), "r");
        if (!tiff) {
            problem = "TIFF 文件已损坏，无法打开";
            return;
        }
        pages = TIFFNumberOfDirectories(tiff);
        if (pages <= 0)
            problem = "TIFF 文件里没有页面";
        numbered = pages > 1;
    }

    PageData tiffPage() {
        PageData d = Page();
        std::uint32_t w = 0, h = 0;
        if (!TIFFSetDirectory(tiff, static_cast<tdir_t>(next)) ||
            !TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w) ||
            !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h) || w == 0 || h == 0) {
            d.problem = "TIFF 的这一页已损坏";
            return d;
        }
        if (static_cast<double>(w) * h > kMostPixels) {
            d.problem = TooLarge(w, h);
            return d;
        }
        // This page alone, through libtiff's own decoding to RGBA, then grey.
        std::vector<std::uint32_t> raster(static_cast<std::size_t>(w) * h);
        if (!TIFFReadRGBAImageOriented(tiff, w, h, raster.data(), ORIENTATION_TOPLEFT, 0)) {
            d.problem = "TIFF 的这一页无法解码";
            return d;
        }
        cv::Mat grey(static_cast<int>(h), static_cast<int>(w), CV_8UC1);
        for (std::uint32_t y = 0; y < h; ++y) {
            const std::uint32_t* from = raster.data() + static_cast<std::size_t>(y) * w;
            auto* to = grey.ptr<std::uint8_t>(static_cast<int>(y));
            for (std::uint32_t x = 0; x < w; ++x)
                to[x] =
                    static_cast<std::uint8_t>((299 * TIFFGetR(from[x]) + 587 * TIFFGetG(from[x]) +
                                               114 * TIFFGetB(from[x]) + 500) /
                                              1000);
        }
        d.grey = std::move(grey);
        return d;
    }

    void openPdf() {
        bytes.clear();
        bytes.shrink_to_fit();
        try {
            pdf = std::make_unique<QPDF>();
            pdf->setSuppressWarnings(true);
            pdf->processFile(file.c_str());
            pdfPages = QPDFPageDocumentHelper(*pdf).getAllPages();
        } catch (const QPDFExc& e) {
            problem = e.getErrorCode() == qpdf_e_password ? "PDF 有密码保护"
                                                          : std::string("PDF 已损坏: ") + e.what();
            return;
        } catch (const std::exception& e) {
            problem = std::string("PDF 已损坏: ") + e.what();
            return;
        }
        pages = static_cast<int>(pdfPages.size());
        if (pages == 0)
            problem = "PDF 里没有页面";
        numbered = true;
    }

    PageData pdfPage() {
        PageData d = Page();
        try {
            if (auto jpeg = PageJpeg(pdfPages[static_cast<std::size_t>(next)])) {
                d.encoded = std::move(*jpeg);
                return d;
            }
        } catch (const std::exception&) {
            // drawn below instead
        }
        if (!drawn) {
            EnsurePainting();
            drawn = std::make_unique<QPdfDocument>();
            if (drawn->load(QString::fromStdString(Utf8(file))) != QPdfDocument::Error::None) {
                d.problem = "PDF 无法绘制";
                return d;
            }
        }
        if (next >= drawn->pageCount()) {
            d.problem = "PDF 的这一页无法绘制";
            return d;
        }
        const QSizeF points = drawn->pagePointSize(next);
        const double w = points.width() * kPdfDpi / 72, h = points.height() * kPdfDpi / 72;
        if (!(w >= 1 && h >= 1)) {
            d.problem = "PDF 的这一页没有大小";
            return d;
        }
        if (w * h > kMostPixels) {
            d.problem = TooLarge(std::lround(w), std::lround(h));
            return d;
        }
        const QSize size(static_cast<int>(std::lround(w)), static_cast<int>(std::lround(h)));
        const QImage page = drawn->render(next, size);
        if (page.isNull()) {
            d.problem = "PDF 的这一页无法绘制";
            return d;
        }
        // Drawn transparent where nothing is printed: put it on paper.
        QImage paper(size, QImage::Format_RGB32);
        paper.fill(Qt::white);
        QPainter(&paper).drawImage(0, 0, page);
        const QImage grey = paper.convertToFormat(QImage::Format_Grayscale8);
        cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
                static_cast<std::size_t>(grey.bytesPerLine()))
            .copyTo(d.grey);
        return d;
    }
};

PageInput::PageInput(const fs::path& file) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.file = file;
    if (!ReadWhole(file, s.bytes, s.problem))
        return;
    s.kind = KindOf(s.bytes.data(), s.bytes.size());
    switch (s.kind) {
    case Kind::Jpeg:
    case Kind::Png:
        s.pages = 1;
        break;
    case Kind::Tiff:
        s.openTiff();
        break;
    case Kind::Pdf:
        s.openPdf();
        break;
    case Kind::Other:
        s.problem = "不是 PNG、JPEG、TIFF 图片或 PDF 文件";
        break;
    }
}

PageInput::~PageInput() {
    if (state_ && state_->tiff)
        TIFFClose(state_->tiff);
}

std::optional<PageData> PageInput::next() {
    State& s = *state_;
    if (!s.problem.empty()) {
        if (s.next > 0)
            return std::nullopt;
        PageData d = s.Page(s.problem);
        s.next = 1;
        return d;
    }
    if (s.next >= s.pages)
        return std::nullopt;
    PageData d;
    switch (s.kind) {
    case Kind::Tiff:
        d = s.tiffPage();
        break;
    case Kind::Pdf:
        d = s.pdfPage();
        break;
    default:
        d = s.Page();
        d.encoded = std::move(s.bytes);
        break;
    }
    ++s.next;
    return d;
}

cv::Mat DecodePage(const PageData& data, std::string& problem, DecodeSize size) {
    problem.clear();
    if (!data.problem.empty()) {
        problem = data.problem;
        return {};
    }
    if (!data.grey.empty())
        return data.grey;
    if (data.encoded.empty()) {
        problem = "文件是空的 (0 字节)";
        return {};
    }
    const Kind kind = KindOf(data.encoded.data(), data.encoded.size());
    if (kind != Kind::Jpeg && kind != Kind::Png) {
        problem = "不是 PNG 或 JPEG 图片";
        return {};
    }
    const auto [w, h] = HeaderSize(data.encoded.data(), data.encoded.size(), kind);
    if (w <= 0 || h <= 0) {
        problem = "图片已损坏: 文件头里没有图片大小";
        return {};
    }
    if (static_cast<double>(w) * h > kMostPixels) {
        problem = TooLarge(w, h);
        return {};
    }
    // Qt's decoders (libjpeg, libpng): a large JPEG scaled down while it is
    // decoded, the EXIF orientation applied.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.encoded.data()),
                                               static_cast<qsizetype>(data.encoded.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, kind == Kind::Jpeg ? "jpeg" : "png");
    reader.setAutoTransform(true);
    if (size == DecodeSize::AsReadNeeds && kind == Kind::Jpeg && std::max(w, h) >= kHalveFromSide)
        reader.setScaledSize(QSize(static_cast<int>(w / 2), static_cast<int>(h / 2)));
    QImage picture = reader.read();
    if (picture.isNull()) {
        problem = "图片已损坏，无法解码";
        return {};
    }
    if (picture.format() != QImage::Format_Grayscale8)
        picture = picture.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat view(picture.height(), picture.width(), CV_8UC1, picture.bits(),
                       static_cast<std::size_t>(picture.bytesPerLine()));
    return view.clone();
}

} // namespace scan
