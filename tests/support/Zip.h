#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// One entry of a zip file (an .xlsx), inflated; nullopt when it is not there.
[[nodiscard]] std::optional<std::string> ReadZipEntry(const std::filesystem::path& zip,
                                                      const std::string& name);

} // namespace testsupport
