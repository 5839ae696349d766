#pragma once

#include <cstdint>
#include <string>

// Facts about the machine the program runs on.
namespace os {

// The system's own name and release, e.g. "Linux 6.1.0".
[[nodiscard]] std::string SystemName();

// Physical memory available to new programs, in bytes (the kernel's
// MemAvailable figure); 0 when it cannot be read.
[[nodiscard]] std::uint64_t AvailableMemory();

} // namespace os
