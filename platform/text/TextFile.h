#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Text files as the system writes them: a list of UTF-8 lines saved as GBK,
// every line ended by CR LF.
namespace text {

// Replaces the file. Throws std::runtime_error naming the file on failure.
void SaveLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

// Appends the lines, creating the file when it is missing.
void AppendLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

// Reads a GBK text file into UTF-8 lines (CR LF or LF line ends).
[[nodiscard]] std::vector<std::string> LoadLines(const std::filesystem::path& file);

// The bytes SaveLines writes for these lines.
[[nodiscard]] std::string GbkLines(const std::vector<std::string>& lines);

} // namespace text
