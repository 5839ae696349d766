// The reader's inputs: files in natural order, a JPEG's EXIF orientation,
// the pages of a multi-page TIFF and of PDFs, and every bad input given as
// a problem in words, never a crash.
#include "scan/Painting.h"
#include "scan/Reader.h"
#include "scan/SheetDesign.h"
#include "scan/SheetDrawing.h"
#include "tests/support/TempHome.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string Jpeg(const cv::Mat& picture) {
    std::vector<uchar> bytes;
    cv::imencode(".jpg", picture, bytes);
    return {bytes.begin(), bytes.end()};
}

// A picture whose top-left corner alone is dark.
cv::Mat Corner(int w, int h) {
    cv::Mat m(h, w, CV_8UC1, cv::Scalar(255));
    m(cv::Rect(0, 0, w / 4, h / 4)).setTo(0);
    return m;
}

// A PDF of the given objects, numbered from 1 (the catalog first), by hand.
std::string PdfOf(const std::vector<std::string>& objects) {
    std::string pdf = "%PDF-1.4\n", xref;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", pdf.size());
        xref += line;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::string size = std::to_string(objects.size() + 1), at = std::to_string(pdf.size());
    return pdf + "xref\n0 " + size + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " +
           size + " /Root 1 0 R >>\nstartxref\n" + at + "\n%%EOF\n";
}

// A PDF of empty A4 pages.
std::string Pdf(int pages) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", ""};
    std::string kids;
    for (int i = 0; i < pages; ++i) {
        kids += std::to_string(3 + i) + " 0 R ";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
    return PdfOf(objects);
}

// A copier's PDF page: one JPEG covering an A4 page.
std::string JpegPdf(const std::string& jpeg, int w, int h) {
    return PdfOf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << /Im0 4 "
         "0 R >> >> /Contents 5 0 R >>",
         "<< /Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height " +
             std::to_string(h) +
             " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode /Length " +
             std::to_string(jpeg.size()) + " >>\nstream\n" + jpeg + "\nendstream",
         "<< /Length 31 >>\nstream\nq 595 0 0 842 0 0 cm /Im0 Do Q\nendstream"});
}

std::vector<scan::PageData> Pages(const fs::path& file) {
    scan::PageInput input(file);
    std::vector<scan::PageData> pages;
    while (auto page = input.next())
        pages.push_back(std::move(*page));
    return pages;
}

class ReaderInputs : public testing::Test {
  protected:
    void SetUp() override { scan::EnsurePainting(); }
    testsupport::TempHome home;
    fs::path dir() const { return home.path(); }
};

TEST_F(ReaderInputs, FoldersInNaturalOrder) {
    fs::create_directory(dir() / "stack");
    fs::create_directory(dir() / "stack" / "sub");
    for (const char* name : {"10.jpg", "2.jpg", "1.PNG", "a9.tif", "a10.pdf", "notes.txt"})
        Write(dir() / "stack" / name, "x");
    Write(dir() / "stack" / "sub" / "3.jpg", "x");
    Write(dir() / "single.jpg", "x");
    const auto files = scan::InputFiles({dir() / "single.jpg", dir() / "stack"});
    std::vector<std::string> names;
    for (const auto& f : files)
        names.push_back(f.filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"single.jpg", "1.PNG", "2.jpg", "10.jpg", "a9.tif",
                                               "a10.pdf"}));
    EXPECT_THROW((void)scan::InputFiles({dir() / "missing"}), std::runtime_error);
}

// EXIF orientation 6: the stored picture is shown turned 90 degrees
// clockwise, so its dark top-left corner comes to the top right.
TEST_F(ReaderInputs, JpegTurnedAsItsExifSays) {
    const std::string plain = Jpeg(Corner(3200, 1600));
    // An APP1 segment: "Exif", a little-endian TIFF header and one entry,
    // Orientation (0x0112) = 6.
    const std::string tiff = std::string("II*\0\x08\0\0\0", 8) + std::string("\x01\0", 2) +
                             std::string("\x12\x01\x03\0\x01\0\0\0\x06\0\0\0", 12) +
                             std::string("\0\0\0\0", 4);
    const std::string exif = std::string("Exif\0\0", 6) + tiff;
    const std::size_t length = exif.size() + 2;
    const std::string app1 = std::string("\xFF\xE1", 2) + static_cast<char>(length >> 8) +
                             static_cast<char>(length & 0xFF) + exif;
    const std::string turned = plain.substr(0, 2) + app1 + plain.substr(2);
    Write(dir() / "turned.jpg", turned);
    const auto pages = Pages(dir() / "turned.jpg");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].source.page, 0);
    std::string problem;
    const cv::Mat grey = scan::DecodePage(pages[0], problem);
    ASSERT_TRUE(problem.empty()) << problem;
    // A picture this large is decoded at half its size.
    ASSERT_EQ(grey.cols, 800);
    ASSERT_EQ(grey.rows, 1600);
    EXPECT_LT(grey.at<uchar>(10, 790), 60);
    EXPECT_GT(grey.at<uchar>(10, 10), 200);
}

TEST_F(ReaderInputs, PagesOfTiffAndPdf) {
    // A two-page TIFF of different sizes: one page at a time, numbered.
    const std::vector<cv::Mat> tiffPages = {Corner(300, 200), Corner(120, 160)};
    ASSERT_TRUE(cv::imwritemulti((dir() / "stack.tif").string(), tiffPages));
    const auto tiff = Pages(dir() / "stack.tif");
    ASSERT_EQ(tiff.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        std::string problem;
        const cv::Mat grey = scan::DecodePage(tiff[i], problem);
        EXPECT_EQ(tiff[i].source.page, static_cast<int>(i + 1));
        EXPECT_EQ(grey.size(), tiffPages[i].size()) << problem;
        EXPECT_LT(grey.at<uchar>(5, 5), 60);
    }

    // A copier's PDF: the page's JPEG handed over as it is.
    const std::string jpeg = Jpeg(Corner(595, 842));
    Write(dir() / "copier.pdf", JpegPdf(jpeg, 595, 842));
    const auto copied = Pages(dir() / "copier.pdf");
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0].source.page, 1);
    EXPECT_EQ(std::string(copied[0].encoded.begin(), copied[0].encoded.end()), jpeg);
    EXPECT_EQ(scan::SourceText(copied[0].source), (dir() / "copier.pdf").string() + "#1");

    // The designer's vector PDF: each page drawn at 200 dpi and read.
    scan::SheetSettings s;
    s.id = "周测";
    s.questions = 40;
    s.idDigits = 4;
    s.pages = 2;
    const scan::Layout layout = scan::DesignSheet(s);
    const auto [pdf, json] = scan::WriteSheet(layout, dir() / "sheet");
    const auto drawn = Pages(pdf);
    ASSERT_EQ(drawn.size(), 2u);
    const scan::LayoutSet layouts = scan::LayoutSet::Load(json);
    for (std::size_t i = 0; i < 2; ++i) {
        std::string problem;
        const cv::Mat grey = scan::DecodePage(drawn[i], problem);
        EXPECT_NEAR(grey.cols, 210 / 25.4 * 200, 2) << problem;
        const scan::PageReading r = scan::ReadPage(grey, drawn[i].source, layouts);
        EXPECT_EQ(r.status, scan::PageStatus::Review) << r.problem; // no exam number filled
        EXPECT_EQ(r.layoutPage, static_cast<int>(i + 1));
        EXPECT_EQ(r.examNumber(), "????");
        for (const auto& q : r.questions)
            EXPECT_EQ(q.reading, "") << q.label;
    }
}

struct BadInput {
    const char* name;
    std::string bytes;
    const char* says; // words the problem must hold
};

std::ostream& operator<<(std::ostream& out, const BadInput& b) {
    return out << b.name;
}

std::string HugePng() {
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string("\0\0\0\x0dIHDR", 8);
    for (int side = 0; side < 2; ++side)
        png += std::string("\0\0\x75\x30", 4); // 30000
    return png + std::string("\x08\0\0\0\0\0\0\0\0", 9);
}

std::string HugeJpeg() {
    // A frame header of 30000 x 30000 after the start of image.
    return std::string("\xFF\xD8\xFF\xC0\0\x0b\x08\x75\x30\x75\x30\x01\x01\x11\0\xFF\xD9", 17);
}

std::string EncryptedPdf(const fs::path& dir) {
    Write(dir / "plain.pdf", Pdf(1));
    QPDF pdf;
    pdf.processFile((dir / "plain.pdf").c_str());
    QPDFWriter writer(pdf, (dir / "locked.pdf").c_str());
    writer.setR6EncryptionParameters("secret", "owner", true, true, true, true, true, true,
                                     qpdf_r3p_full, true);
    writer.write();
    std::ifstream in(dir / "locked.pdf", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class BadInputs : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, GiveAProblemNotACrash) {
    testsupport::TempHome home;
    scan::EnsurePainting();
    const BadInput& bad = GetParam();
    const std::string bytes =
        std::string(bad.name) == "PdfWithPassword" ? EncryptedPdf(home.path()) : bad.bytes;
    const fs::path file = home.path() / "bad.bin";
    Write(file, bytes);
    const auto pages = Pages(file);
    ASSERT_EQ(pages.size(), 1u);
    std::string problem;
    const cv::Mat grey = scan::DecodePage(pages[0], problem);
    EXPECT_TRUE(grey.empty());
    EXPECT_NE(problem.find(bad.says), std::string::npos) << problem;
    // The bytes handed to the decoder directly, as a worker might get them.
    scan::PageData data;
    data.encoded.assign(bytes.begin(), bytes.end());
    EXPECT_TRUE(scan::DecodePage(data, problem).empty());
    EXPECT_FALSE(problem.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputs,
    testing::Values(BadInput{"EmptyFile", "", "0 字节"},
                    BadInput{"BrokenJpeg",
                             std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0garbage-garbage", 23),
                             "已损坏"},
                    BadInput{"BrokenPng", std::string("\x89PNG\r\n\x1a\nnot really", 18), "已损坏"},
                    BadInput{"NotAPicture", "hello, this is text", "不是"},
                    BadInput{"PdfWithoutPages", Pdf(0), "没有页面"},
                    BadInput{"PdfWithPassword", "", "密码"},
                    BadInput{"BrokenPdf", "%PDF-1.4\n1 0 obj << /Type", "PDF"},
                    BadInput{"TiffWithoutPages", std::string("II*\0\0\0\0\0", 8), "没有页面"},
                    BadInput{"HugePng", HugePng(), "30000 x 30000"},
                    BadInput{"HugeJpeg", HugeJpeg(), "30000 x 30000"}),
    [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(ReaderLayouts, FolderOfLayoutsOrNone) {
    testsupport::TempHome home;
    scan::EnsurePainting();
    scan::SheetSettings s;
    s.questions = 10;
    s.idDigits = 3;
    s.id = "a";
    (void)scan::WriteSheet(scan::DesignSheet(s), home.path() / "a");
    s.questions = 30;
    s.idDigits = 6;
    s.id = "b";
    (void)scan::WriteSheet(scan::DesignSheet(s), home.path() / "b");
    const scan::LayoutSet set = scan::LayoutSet::Load(home.path());
    ASSERT_EQ(set.layouts().size(), 2u);
    EXPECT_EQ(set.questionCount(), 30);
    EXPECT_EQ(set.digitCount(), 6);
    ASSERT_NE(set.find("b"), nullptr);
    EXPECT_EQ(set.find("c"), nullptr);
    fs::create_directory(home.path() / "empty");
    EXPECT_THROW((void)scan::LayoutSet::Load(home.path() / "empty"), scan::LayoutError);
}

} // namespace
