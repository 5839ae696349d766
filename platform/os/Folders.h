#pragma once

#include <filesystem>
#include <string>

// Where the program keeps its files. The program folder holds data.mdb,
// config.ini, the reports and the logs: by default the executable's folder,
// or the folder given by --home or the QUILLORY_HOME environment variable.
namespace os {

// Sets the program folder for the rest of the run (the --home option); an
// empty path goes back to QUILLORY_HOME or the executable's folder.
void SetProgramFolder(const std::filesystem::path& folder);

// The program folder, absolute, without a trailing delimiter.
[[nodiscard]] std::filesystem::path ProgramFolder();

// The folder of the running executable.
[[nodiscard]] std::filesystem::path ExecutableFolder();

// TMPDIR or /tmp, with a trailing "/".
[[nodiscard]] std::string GetTempFolder();

// The file at folder/name, the name compared without regard to ASCII case
// (A.DBF answers for a.dbf). Empty when there is none.
[[nodiscard]] std::filesystem::path FindFileNoCase(const std::filesystem::path& folder,
                                                   const std::string& name);

} // namespace os
