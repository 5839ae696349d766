#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The names of the program's temporary files. A file written whole is first
// written under a short name of its own in the same folder,
// ".q<pid>-<random>.tmp", and renamed into place: the temporary name never
// grows with the final one, so every name the folder allows can be written,
// and the process id in it tells whether the writer is still running.
namespace text {

// A fresh temporary name in the folder of `file`, for this process.
[[nodiscard]] std::filesystem::path TemporaryBeside(const std::filesystem::path& file);

// The process id in a name TemporaryBeside gives; 0 for any other name.
[[nodiscard]] long TemporaryNameOwner(std::string_view name);

// The most bytes a file name may have in the folder of `file`.
[[nodiscard]] std::size_t NameLimit(const std::filesystem::path& file);

// Throws std::runtime_error naming the file ("文件名太长") when its name has
// more bytes than its folder allows; the caller has written nothing yet.
void CheckNameFits(const std::filesystem::path& file);

} // namespace text
