#pragma once

#include <filesystem>

namespace fuzzing {

// A folder of the process's own under the temporary folder, made on first
// use and removed with everything in it when the process ends normally: the
// files the targets write for one input live there.
[[nodiscard]] const std::filesystem::path& ScratchFolder();

} // namespace fuzzing
