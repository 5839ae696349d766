#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh temporary folder for one test, removed with everything in it when
// the test ends. Also made the program folder, so nothing reaches the
// executable's folder.
class TempHome {
  public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return mPath; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const {
        return mPath / name;
    }

  private:
    std::filesystem::path mPath;
};

// This process's own folder for the reports' spreadsheet files inside the
// temporary folder `temp` (what the test set TMPDIR to); not created.
[[nodiscard]] std::filesystem::path ProcessTempIn(const std::filesystem::path& temp);

// The whole content of a file as bytes.
[[nodiscard]] std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

} // namespace testsupport
