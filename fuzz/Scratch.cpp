#include "fuzz/Scratch.h"

#include <string>
#include <system_error>

#include <unistd.h>

namespace fuzzing {
namespace {

// Owns the scratch folder for the life of the process.
class ScratchHolder {
  public:
    ScratchHolder()
        : mPath(std::filesystem::temp_directory_path() /
                ("quillory-fuzz-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(mPath);
        std::filesystem::create_directories(mPath);
    }
    ~ScratchHolder() {
        std::error_code ec;
        std::filesystem::remove_all(mPath, ec);
    }
    ScratchHolder(const ScratchHolder&) = delete;
    ScratchHolder& operator=(const ScratchHolder&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return mPath; }

  private:
    std::filesystem::path mPath;
};

} // namespace

const std::filesystem::path& ScratchFolder() {
    static const ScratchHolder holder;
    return holder.path();
}

} // namespace fuzzing
