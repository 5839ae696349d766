#pragma once

#include "core/Workspace.h"

#include <optional>
#include <string>

namespace scoring {

// A sheet's marks in the notation of the answer keys: the first T positions
// as single-choice letters in groups of five, the rest as multiple-choice
// letters texts separated by ";". The single-choice letters keep every code
// that is not a single mark as it is, the blank "0" included.
[[nodiscard]] std::string ConvertAnswers(const std::string& content, int T);

// "转换客观题" on the view's current record: nullopt when nothing changes
// (no table open, or an empty content); throws when the view has no content
// field.
[[nodiscard]] std::optional<std::string> ConvertCurrent(core::Workspace& ws, int T);

} // namespace scoring
