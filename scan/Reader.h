#pragma once

#include "scan/Layout.h"
#include "scan/PageReading.h"

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The reader of scanned and photographed answer sheets: the pages of the
// input files, and what one page's picture says. Every function here may be
// called from several worker threads at once; none keeps state between
// pages.
namespace scan {

// The layouts a stack is read with: one layout file, or every layout file
// of a folder. Throws LayoutError naming the file when one does not load,
// and when a folder holds none.
class LayoutSet {
  public:
    // A bubble template (scan/Template.h) loads as a layout of its own;
    // `idLabel` names its custom label of the exam number.
    [[nodiscard]] static LayoutSet Load(const std::filesystem::path& fileOrFolder,
                                        const std::string& idLabel = {});
    explicit LayoutSet(std::vector<Layout> layouts);

    [[nodiscard]] const std::vector<Layout>& layouts() const { return layouts_; }
    // The layout of that id, or null.
    [[nodiscard]] const Layout* find(const std::string& id) const;
    // The most questions and exam-number digits of any layout: the widths
    // of the answer table's fields.
    [[nodiscard]] int questionCount() const;
    [[nodiscard]] int digitCount() const;

  private:
    std::vector<Layout> layouts_;
};

// The files a list of inputs names, in order: each file as given, each
// folder's pictures (.png .jpg .jpeg .tif .tiff) and PDFs in natural name
// order ("2.jpg" before "10.jpg"), not descending into subfolders. Throws
// std::runtime_error naming an input that does not exist.
[[nodiscard]] std::vector<std::filesystem::path>
InputFiles(const std::vector<std::filesystem::path>& inputs);

// One page of an input file as it comes out of the file: the encoded
// picture to be decoded by a worker (an image file's bytes, or the JPEG a
// copier put on a PDF page), or the page already drawn (a PDF page rendered
// at 200 dpi grey), or why the page cannot be had.
struct PageData {
    PageSource source;
    std::vector<std::uint8_t> encoded;
    cv::Mat grey;        // 8-bit grey, when drawn already
    std::string problem; // non-empty: the page cannot be read, in words for the log
};

// The pages of one file, one at a time, in order, holding at most one page
// in memory. A file that does not open gives one PageData with its problem.
class PageInput {
  public:
    explicit PageInput(const std::filesystem::path& file);
    ~PageInput();
    PageInput(const PageInput&) = delete;
    PageInput& operator=(const PageInput&) = delete;

    [[nodiscard]] std::optional<PageData> next();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// How large a picture is decoded: as the reader needs it (a large JPEG at
// half its size, still 150 dpi for a 300 dpi A4 scan), or whole.
enum class DecodeSize { AsReadNeeds, Full };

// The page as an upright-as-stored 8-bit grey picture (EXIF orientation of
// a JPEG applied); empty with `problem` set when it does not decode or is
// too large to read.
[[nodiscard]] cv::Mat DecodePage(const PageData& data, std::string& problem,
                                 DecodeSize size = DecodeSize::AsReadNeeds);

// What one page's picture says: located by its registration marks, its
// layout and page chosen by its QR code (optional with one layout of one
// page), every bubble measured and decided. Never throws for a bad picture:
// the reading's status says what happened.
[[nodiscard]] PageReading ReadPage(const cv::Mat& grey, const PageSource& source,
                                   const LayoutSet& layouts);

// The marks of a layout page nearest the four corners of its paper
// (`width` by `height` mm): top-left, top-right, bottom-right, bottom-left.
// Empty when the page has no four such marks.
[[nodiscard]] std::vector<Mark> CornerMarks(const Page& page, double width, double height);

// A page whose marks were not found, placed by the centres of its four
// corner marks as shown by hand (picture pixels, in CornerMarks' order);
// the layout page chosen by its QR code (optional with one layout of one
// page), then measured and decided as ReadPage does.
[[nodiscard]] PageReading ReadPageAtMarks(const cv::Mat& grey, const PageSource& source,
                                          const LayoutSet& layouts,
                                          const std::vector<cv::Point2d>& shown);

// The decisions of a read page made again from its kept darkness values,
// the page's threshold moved by `shift` (the review's sensitivity); the
// status follows. Bubbles are not measured again. A page whose bubbles
// showed no two clear groups has every item to review however it decides.
void Decide(PageReading& page, double shift = 0);

} // namespace scan
