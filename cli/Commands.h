#pragma once

#include <string>
#include <vector>

namespace cli {

// Runs quillory-cli with its arguments (without the program name); returns
// the exit status: 0 done, 1 error, 2 bad usage, 3 stopped.
int Run(const std::vector<std::string>& args);

} // namespace cli
