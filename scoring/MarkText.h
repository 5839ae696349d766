#pragma once

#include <string>
#include <string_view>

namespace scoring {

// A sheet's answers text as the letters marked, for reading in the grid:
// "1:A  2:ABCE  3:  4:D", the question's number, a colon and its letters
// (MarkToLetters; a blank shows nothing after the colon), `perLine`
// questions to a line, lines ended by "\n". A byte that is no mark code
// shows as it is. Trailing blanks of the text are not questions.
[[nodiscard]] std::string MarksText(std::string_view content, int perLine = 10);

} // namespace scoring
