#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// What the reader of scanned answer sheets made of one page: where it came
// from, whether and how it was located, and per printed bubble its darkness
// and decision. Plain values, so that the command that writes the answer
// table, the scan database and the review can share them without the image
// libraries.
namespace scan {

// A page of the input: a file and, for a PDF or a multi-page TIFF, the page
// in it counting from 1 (0 for a file that is one picture).
struct PageSource {
    std::filesystem::path file;
    int page = 0;
};

// "<file>" or "<file>#<page>", the file as the user named it (UTF-8).
[[nodiscard]] std::string SourceText(const PageSource& source);

// How a page ended. `Duplicate` is decided by the command over the whole
// stack (the same exam number and the same marks as an earlier page); the
// reader of one page gives the others.
enum class PageStatus { Ok, Review, Blank, Duplicate, Failed };

// Why a page was not read.
enum class Failure {
    None,
    Unreadable,    // 无法读取文件: the file or page does not decode
    NoSheet,       // 未找到答题卡: no registration mark found at all
    NotLocated,    // 定位失败: too few marks, or the fit's residual above its limit
    UnknownLayout, // 未知版式: the QR code names a layout that was not given
    OtherLayout,   // 其他版式: the QR code names another layout than the one given
};

// The status and failure words of the log and the CSV: "ok", "review",
// "blank", "duplicate", "failed: 定位失败".
[[nodiscard]] std::string StatusText(PageStatus status, Failure failure);
[[nodiscard]] const char* FailureText(Failure failure); // "" for None

// Why an item is to be reviewed.
enum class Doubt {
    LightMark,     // a mark lighter than a pupil's usual fill
    Erasure,       // a mark much lighter than another in the same item
    NearThreshold, // a bubble too close to the page's threshold to call
    NoDigit,       // an exam-number column with no mark
    SeveralDigits, // an exam-number column with two or more marks
};
// The words of the log and the review: 浅色标记, 擦除, 接近阈值, 考号不可读.
[[nodiscard]] const char* DoubtText(Doubt doubt);

// One printed bubble: its darkness between 0 (the paper) and 1 (the
// printed black patch), measured inside its outline, and the decision at
// the page's threshold.
struct BubbleReading {
    std::string value; // the option letter or the digit printed in it
    double darkness = 0;
    bool marked = false;
};

// A question or a column of the exam number as read.
struct ItemReading {
    std::string label;                  // "q7" for question 7, "id3" for the 3rd digit column
    int question = 0;                   // the question number; 0 for a digit column
    std::vector<BubbleReading> bubbles; // in the layout's order
    std::vector<Doubt> doubts;          // empty: nothing to review
    // The marked values joined in bubble order ("AC", "7"); "" for none;
    // "?" for a digit column that is not one clear mark.
    std::string reading;
};

// A small grey picture of the sheet around one item to review (the
// question's row with every option, or the exam number's grid), cut out
// while the page's picture is at hand, and where each bubble is in it.
struct ItemPicture {
    std::string label; // "q7", or "id" for the exam number's grid
    std::string png;   // the picture's PNG bytes
    // Per bubble, in the item's order (for "id": column by column), its
    // frame in the picture's pixels: left, top, width, height.
    std::vector<std::array<int, 4>> frames;
};

struct PageReading {
    PageSource source;
    PageStatus status = PageStatus::Failed;
    Failure failure = Failure::None;
    std::string problem; // words for the log when failed (what did not decode, how many marks)

    // The layout that located the page, and which of its pages it is
    // (counting from 1); empty / 0 when the page was not located.
    std::string layoutId;
    int layoutRevision = 0;
    int layoutPage = 0;

    int turn = 0;         // degrees clockwise the picture was turned from upright: 0 90 180 270
    int marksFound = 0;   // registration marks used by the fit
    double residual = 0;  // the fit's root-mean-square residual, in millimetres
    double paper = 0;     // the grey level of the page's white patch
    double black = 0;     // the grey level of its black patch
    double threshold = 0; // the darkness from which a bubble counts as marked
    // The bubbles show no two clear groups (marks and paper): no decision
    // of the page is trusted, every item is to review.
    bool noClearGroups = false;

    std::vector<ItemReading> digits;    // the exam number's columns, left to right
    std::vector<ItemReading> questions; // this page's questions, by number
    // A bubble template's fields that are neither a question nor a digit of
    // the exam number (more than six bubbles): read for the CSV only; a
    // digit field's `question` is 0, any other's -1.
    std::vector<ItemReading> fieldsOnly;
    bool fromTemplate = false; // read with a bubble template: labels are its field labels

    // Where the paper lies in the picture: millimetres on the paper to the
    // picture's pixels, a 3x3 matrix by rows; all 0 when not located.
    std::array<double, 9> toPicture{};
    // The pictures of the items to review, made by the scan's workers.
    std::vector<ItemPicture> pictures;

    // The exam number: one character per digit column, "?" where unread.
    [[nodiscard]] std::string examNumber() const;
    // True when any item has a doubt.
    [[nodiscard]] bool toReview() const;
};

} // namespace scan
