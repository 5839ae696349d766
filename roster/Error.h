#pragma once

#include <stdexcept>
#include <string>

namespace roster {

// A class list that cannot be used: a file that cannot be read, a damaged
// workbook, no exam-number column, a mapping that names no column. The text
// names the file and the problem; it is what the user sees.
class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

} // namespace roster
