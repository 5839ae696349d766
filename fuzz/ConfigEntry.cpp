#include "core/Config.h"
#include "fuzz/Entries.h"
#include "fuzz/Scratch.h"

#include <fstream>
#include <stdexcept>
#include <string_view>

namespace fuzzing {
namespace {

void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

bool SameNames(const core::FieldSettings& a, const core::FieldSettings& b) {
    return a.Content == b.Content && a.Score == b.Score && a.ID == b.ID && a.Flag == b.Flag &&
           a.Subject == b.Subject && a.FullMatch == b.FullMatch;
}

} // namespace

// Saving what was read into the same file, other sections and keys kept, and
// reading it again gives the same settings: a value the reader takes is one
// the writer can write.
int ReadConfig(const std::uint8_t* data, std::size_t size) {
    const auto file = ScratchFolder() / "config.ini";
    WriteFile(file, std::string_view(reinterpret_cast<const char*>(data), size));
    core::FieldSettings read;
    core::LoadConfig(file, read);
    if (!core::SaveConfig(file, read))
        return 0;
    core::FieldSettings again;
    core::LoadConfig(file, again);
    if (!SameNames(read, again))
        throw std::logic_error("config.ini: saved settings read back differently");
    return 0;
}

} // namespace fuzzing
