#pragma once

#include "scan/Layout.h"

#include <QImage>

#include <filesystem>

class QPainter;

// The drawing of an answer sheet from its layout: one code path for the
// PDF that is printed, the preview of the designer and the pictures the
// tests render, so that all of them show the bubbles where the layout
// file says they are.
namespace scan {

// The font of every text on the sheet.
inline constexpr const char* kSheetFont = "WenQuanYi Micro Hei";

// The grey of the letters and digits printed inside the bubbles: no darker
// than 25% black, so that an empty bubble stays close to paper white.
inline constexpr int kBubbleTextGrey = 195;

// Draws page `index` of the layout on `painter`, whose units are
// millimetres from the paper's top-left corner; the paper is not filled.
void DrawPage(QPainter& painter, const Layout& layout, std::size_t index);

// Page `index` as a white picture at `dpi` (RGB32; the tests make it grey).
[[nodiscard]] QImage RenderPage(const Layout& layout, std::size_t index, double dpi);

// The modules of the QR code holding `text`: a square of booleans (true is
// black), without a quiet zone.
[[nodiscard]] std::vector<std::vector<bool>> QrModules(const std::string& text);

// Writes `base`.pdf (vector, one PDF page per layout page) and
// `base`.layout.json; each is written under a temporary name and renamed,
// so that a failed run leaves neither. Throws LayoutError naming the file.
// Returns the two files.
std::pair<std::filesystem::path, std::filesystem::path>
WriteSheet(const Layout& layout, const std::filesystem::path& base);

} // namespace scan
