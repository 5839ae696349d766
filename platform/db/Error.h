#pragma once

#include <stdexcept>
#include <string>

namespace db {

// A failure of the database layer: a statement the translator or SQLite
// rejects, a damaged dBase file, a dataset used in the wrong state. The text
// is what the user sees in the error box.
class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

} // namespace db
