#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The layout of an answer sheet printed on plain paper: where every mark,
// patch, write-in box, QR code and bubble sits, in millimetres from the
// paper's top-left corner as printed at 100%. One layout file (JSON, UTF-8)
// per sheet design; the reader of scanned sheets finds every bubble from
// it alone. docs/layout-format.md describes the file.
namespace scan {

inline constexpr int kMaxQuestions = 105; // the scratch table's limit
inline constexpr int kMaxIdDigits = 20;
inline constexpr int kMinOptions = 2, kMaxOptions = 6;
inline constexpr double kMarkEdgeMm = 8; // nearest a mark may come to the paper's edge

// A layout file that does not load: the text names the key and the problem.
class LayoutError : public std::runtime_error {
  public:
    explicit LayoutError(const std::string& text) : std::runtime_error(text) {}
};

// A rectangle by its centre and size, in millimetres.
struct Area {
    double x = 0, y = 0, w = 0, h = 0;
    [[nodiscard]] double left() const { return x - w / 2; }
    [[nodiscard]] double top() const { return y - h / 2; }
    [[nodiscard]] double right() const { return x + w / 2; }
    [[nodiscard]] double bottom() const { return y + h / 2; }
};

// A printed bubble and what marking it means: an option letter or a digit.
struct Bubble {
    std::string value;
    Area area;
};

// A square registration mark; `kind` names its printed pattern.
struct Mark {
    std::string name;
    std::string kind;
    double x = 0, y = 0, size = 0;
};

// A named rectangle: a reference patch or a write-in box.
struct NamedArea {
    std::string name;
    Area area;
};

enum class QuestionKind { Single, Multiple };

struct Question {
    int number = 0;
    QuestionKind kind = QuestionKind::Single;
    std::vector<Bubble> bubbles;
};

// One column of ten bubbles, 0 to 9, of the exam number.
struct Digit {
    int digit = 0;
    std::vector<Bubble> bubbles;
};

struct Page {
    int number = 1;
    std::vector<Mark> marks;
    std::vector<NamedArea> patches;
    std::vector<NamedArea> boxes;
    double qrX = 0, qrY = 0, qrSize = 0; // the symbol's centre and side, without its quiet zone
    std::vector<Digit> examNumber;
    std::vector<Question> questions;
    std::optional<Area> instructions; // where the filling example and the instructions are printed
};

struct BubbleTemplate;

struct Layout {
    std::string id;
    int revision = 1;
    std::string title;
    double width = 210, height = 297;
    std::vector<Page> pages;
    // Set for a sheet described by a bubble template (scan/Template.h):
    // its one page is in the template's units and read by its own steps.
    std::shared_ptr<const BubbleTemplate> bubbleTemplate;
};

// The text the QR code of a page holds: quillory:<id>:<revision>:<page>.
[[nodiscard]] std::string QrText(const Layout& layout, const Page& page);

// Every check of a loaded layout; the first problem found, naming its key.
[[nodiscard]] std::optional<std::string> LayoutProblem(const Layout& layout);

// Reads a layout from its JSON text and checks it; throws LayoutError.
[[nodiscard]] Layout ParseLayout(const std::string& json);

// Reads and checks a layout file; throws LayoutError naming the file.
[[nodiscard]] Layout LoadLayout(const std::filesystem::path& file);

// The layout as JSON text, in the fixed shape of the format.
[[nodiscard]] std::string LayoutJson(const Layout& layout);

[[nodiscard]] const char* KindName(QuestionKind kind);

} // namespace scan
