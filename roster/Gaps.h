#pragma once

#include "roster/Lists.h"
#include "roster/Verify.h"

#include <vector>

namespace roster {

// The numbers missing between the sheets of each class, for a check
// without a roster: `first` marks each number's first sheet; the result's
// majority shape must be set. Fills r.gaps and r.unclassified.
void FindGaps(const SheetList& sheets, const std::vector<bool>& first, VerifyResult& r,
              const ClassOfNumber& classOf);

// A number of `width` digits, with leading zeros.
[[nodiscard]] std::string PaddedNumber(std::uint64_t value, std::size_t width);

} // namespace roster
