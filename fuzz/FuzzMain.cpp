// The libFuzzer main of one target; QUILLORY_FUZZ_ENTRY names its entry
// function (fuzz/Entries.h).
#include "fuzz/Entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return QUILLORY_FUZZ_ENTRY(data, size);
}
