#pragma once

#include "analysis/RekeyCommand.h"
#include "analysis/Result.h"

#include <QString>

// What the analysis window says about correcting a key: why a question
// cannot be corrected there, what a correction would change, the question
// before it is made and what it did. Built from the engine's results only.
namespace analysis::forms {

// Why the question cannot have its key corrected in the window (a
// multiple-choice question, a key "x" or "z"); empty when it can.
[[nodiscard]] QString RekeyRefusal(const ItemFigures& item);

// The changes of the sheets' totals: "总分改变的答卷：8 / 8 份" and a line
// per difference, "+1 分：3 份", largest rise first, then the change of the
// mean; the engine's notice for a key that is already the current one.
[[nodiscard]] QString ChangesText(const RekeyPreview& preview);

// The question asked before a correction is written: the question with its
// current and its new key.
[[nodiscard]] QString ApplyQuestion(const ItemFigures& item, char key);

// The one message after a correction: the key changed, the rows rewritten,
// the statistics file, the key history and the reports now out of date (by
// file name); the engine's notice when nothing was written.
[[nodiscard]] QString DoneText(const RekeyResult& result, const ItemFigures& item, char key);

} // namespace analysis::forms
