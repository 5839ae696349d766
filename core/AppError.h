#pragma once

#include <stdexcept>
#include <string>

namespace core {

// A runtime failure of a command that is not the database's: a file that
// cannot be copied or written, a field of the wrong type. Shown with its
// text in the standard error box.
class AppError : public std::runtime_error {
  public:
    explicit AppError(const std::string& text) : std::runtime_error(text) {}
};

} // namespace core
