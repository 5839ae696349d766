#pragma once

#include "scan/Layout.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Sheets described by a bubble template (template.json) rather than by our
// layout file: a page of `pageDimensions` units, blocks of fields whose
// bubbles sit at a gap from each other, the picture found on the paper by
// four corner markers or by the paper's edge, and a few filters run on the
// page before the bubbles are measured. docs/omr-template.md describes the
// file. A template loads as a Layout of one page whose bubbles are in the
// template's units; the reader sees it by Layout::bubbleTemplate.
namespace scan {

// A template that does not load: the text names the file and the key.
class TemplateError : public LayoutError {
  public:
    explicit TemplateError(const std::string& text) : LayoutError(text) {}
};

// A bubble by its top-left corner and size, in the template's units.
struct TemplateBubble {
    std::string value;
    double x = 0, y = 0, w = 0, h = 0;
};

// One field: a label of a block's fieldLabels as it expands.
struct TemplateField {
    std::string label;
    std::string block;
    bool integer = false; // a QTYPE_INT field: one digit 0-9
    std::vector<TemplateBubble> bubbles;
};

// A step run on the picture before the bubbles are read.
struct TemplateStep {
    enum class Kind { CropPage, CropOnMarkers, GaussianBlur, MedianBlur, Levels };
    Kind kind = Kind::CropPage;
    // CropOnMarkers: the marker image's file and bytes, and how many times
    // wider the sheet is than the marker.
    std::filesystem::path markerFile;
    std::vector<std::uint8_t> marker;
    double sheetToMarkerWidthRatio = 17;
    // CropPage: the closing kernel that joins the paper's edge.
    int morphWidth = 10, morphHeight = 10;
    // GaussianBlur (kSize, sigmaX) and MedianBlur (kSize).
    int kernelWidth = 3, kernelHeight = 3;
    double sigmaX = 0;
    // Levels: the grey range kept (0-1) and its gamma.
    double low = 0, high = 1, gamma = 1;
};

struct BubbleTemplate {
    double width = 0, height = 0;      // pageDimensions
    std::vector<TemplateField> fields; // in the blocks' order, each block's labels as they expand
    // customLabels in the file's order: a name and the fields it joins.
    std::vector<std::pair<std::string, std::vector<std::string>>> customLabels;
    std::vector<TemplateStep> steps;
    // The custom label read as the exam number; empty for none.
    std::string idLabel;

    [[nodiscard]] const TemplateField* field(const std::string& label) const;
};

// "q1..11" -> q1, q2, ... q11; a label without a range stays as it is.
// Empty for a range that does not expand (no number before or after the
// dots, or a start after its end).
[[nodiscard]] std::vector<std::string> ExpandLabels(const std::string& label);

// Reads a template from its text, the marker image looked for in `folder`;
// `idLabel` names the custom label of the exam number (empty: the one
// custom label made only of QTYPE_INT fields, if there is exactly one).
// Throws TemplateError naming the key.
[[nodiscard]] BubbleTemplate ParseTemplate(const std::string& json,
                                           const std::filesystem::path& folder,
                                           const std::string& idLabel = {});

// The template as a layout of one page: the exam number's fields as digit
// columns, every other field of at most six bubbles a question in order.
[[nodiscard]] Layout TemplateLayout(BubbleTemplate bubbleTemplate, const std::string& id);

// True for a file to be read as a template rather than a layout of ours:
// not named *.layout.json, and either no JSON object or one with
// "fieldBlocks" or without "pages".
[[nodiscard]] bool IsTemplateFile(const std::filesystem::path& file);

// Reads a template file into its layout; throws TemplateError naming the
// file and the key.
[[nodiscard]] Layout LoadTemplate(const std::filesystem::path& file,
                                  const std::string& idLabel = {});

} // namespace scan
