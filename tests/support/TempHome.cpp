#include "tests/support/TempHome.h"

#include "platform/os/Folders.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

TempHome::TempHome() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillory-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    mPath = pattern;
    os::SetProgramFolder(mPath);
}

TempHome::~TempHome() {
    std::error_code ec;
    std::filesystem::permissions(mPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(mPath, ec);
}

std::filesystem::path ProcessTempIn(const std::filesystem::path& temp) {
    return temp / os::ProcessTempFolderName(::getuid(), ::getpid());
}

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace testsupport
