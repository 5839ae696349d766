#pragma once

#include "scan/Layout.h"

#include <QImage>

#include <map>

#include <random>
#include <string>
#include <vector>

// Pictures of designed answer sheets as pupils fill them and as scanners
// and phones see them, drawn by the sheet's own drawing code (never through
// the PDF), with the truth of what was filled. The same seed gives the same
// pictures.
namespace scan {
struct BubbleTemplate;
}

namespace tools {

// How a pupil marked a bubble.
enum class FillKind { Solid, Light, Half, Erased, Tick, Cross };

[[nodiscard]] const char* FillName(FillKind kind);
[[nodiscard]] std::optional<FillKind> FillFromName(const std::string& name);

// One marked bubble: a question's option letter, or an exam-number digit
// (question 0, `digit` counting from 1).
struct Fill {
    int question = 0;
    int digit = 0;
    std::string value;
    FillKind kind = FillKind::Solid;
};

// What a reader should make of a fill: a solid fill is marked; a tick, a
// cross, a light or a half fill is marked and may be sent to review; an
// erasure is blank and may be sent to review.
[[nodiscard]] bool CountsAsMarked(FillKind kind);
[[nodiscard]] bool ReviewAcceptable(FillKind kind);

// The ways a picture is spoilt. Angles in degrees; `perspective` moves each
// corner by up to that fraction of the page; `blur` is a radius in pixels,
// `noise` a standard deviation in grey levels; `jpeg` a quality (0: none);
// `dust` the number of specks; `turn` 0, 90, 180 or 270 degrees clockwise.
struct Degradation {
    double rotation = 0;
    double scale = 1;
    double perspective = 0;
    double blur = 0;
    double noise = 0;
    int jpeg = 0;
    int dust = 0;
    int turn = 0;
};

// The degradations drawn at random within the limits a scanner or a phone
// photo gives: rotation up to 5 degrees, a scale of 95-103%, a little
// perspective, blur, noise, JPEG and dust; `turn` as given.
[[nodiscard]] Degradation RandomDegradation(std::mt19937& random, int turn);

// Answers drawn at random for page `page` of the layout and an exam number
// of its digits: mostly solid fills; `oddShare` of the questions get a
// light, half, erased, tick or cross mark instead, and an erasure another
// option filled solid.
[[nodiscard]] std::vector<Fill> RandomFills(const scan::Layout& layout, std::size_t page,
                                            std::mt19937& random, double oddShare);

// Page `page` of the layout at `dpi`, filled with `fills` (exam-number
// digits also written in their cells), as a grey picture.
[[nodiscard]] QImage FilledPage(const scan::Layout& layout, std::size_t page, double dpi,
                                const std::vector<Fill>& fills, std::mt19937& random);

// Page `page` of the layout drawn at `dpi` with the patterns of its
// registration marks painted over, their black squares left: a sheet whose
// marks the reader does not find, as after a spill or a bad copy.
[[nodiscard]] QImage SpoilMarks(QImage grey, const scan::Page& page, double dpi);

// The picture spoilt as `how` says (grey in, grey out).
[[nodiscard]] QImage Degrade(const QImage& grey, const Degradation& how, std::mt19937& random);

// A corner marker for a bubble template's CropOnMarkers, `side` pixels
// square: a black square, a white ring and a black centre.
[[nodiscard]] QImage TemplateMarker(int side);

// The sheet of a bubble template as a grey picture, its page `pageWidth`
// pixels wide: every bubble's outline, and the bubbles of the values
// `marked` gives per field label filled solid. With a CropOnMarkers step the
// page has a white margin and the step's marker image (a TemplateMarker when
// it does not decode) centred on each of its corners, upright, the picture
// being sheetToMarkerWidthRatio markers wide.
[[nodiscard]] QImage TemplateSheet(const scan::BubbleTemplate& bubbleTemplate, int pageWidth,
                                   const std::map<std::string, std::vector<std::string>>& marked);

} // namespace tools
