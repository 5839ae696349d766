#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// Work that a third-party library does on untrusted input, run in a child
// process of its own so that a crash, a runaway allocation or an endless
// loop inside the library ends the child and not the program.
namespace os {

struct ChildLimits {
    std::size_t memoryBytes = std::size_t{512} << 20; // address space of the child
    unsigned seconds = 60;                            // processor and wall-clock time
};

// Runs `work` in a forked child under the limits and returns the bytes it
// produced. Nothing when the child did not finish normally: a signal (a
// crash, the time running out), a failed allocation (std::bad_alloc), or any
// exception escaping `work`. The child shares nothing with the parent after
// the fork: it writes its result through a pipe and ends with _exit.
[[nodiscard]] std::optional<std::string> RunConfined(const std::function<std::string()>& work,
                                                     const ChildLimits& limits = {});

} // namespace os
