#pragma once

#include <filesystem>
#include <functional>
#include <string>

// Where the program keeps its files. The program folder holds data.mdb,
// config.ini, the reports and the logs: the folder given by --home or the
// QUILLORY_HOME environment variable, else the executable's folder, or, when
// the user cannot write there (a system-wide install), the per-user data
// folder $XDG_DATA_HOME/quillory (by default ~/.local/share/quillory).
namespace os {

// Where the program folder can be, in the order they win.
struct FolderCandidates {
    std::filesystem::path given;      // --home
    std::string environment;          // QUILLORY_HOME
    std::filesystem::path executable; // the executable's folder
    std::string dataHome;             // XDG_DATA_HOME
    std::string userHome;             // HOME
};

// The candidates of this process.
[[nodiscard]] FolderCandidates CurrentCandidates();

// True when the user may create files in the folder.
[[nodiscard]] bool CanWriteTo(const std::filesystem::path& folder);

// $XDG_DATA_HOME/quillory; ~/.local/share/quillory when XDG_DATA_HOME is
// unset, empty or not an absolute path.
[[nodiscard]] std::filesystem::path UserDataFolder(const std::string& dataHome,
                                                   const std::string& userHome);

// The program folder the candidates give, absolute, without a trailing
// delimiter, not created: --home, QUILLORY_HOME, the executable's folder when
// `writable` says so, else the per-user data folder.
[[nodiscard]] std::filesystem::path
ChooseProgramFolder(const FolderCandidates& candidates,
                    const std::function<bool(const std::filesystem::path&)>& writable = CanWriteTo);

// Sets the program folder for the rest of the run (the --home option); an
// empty path goes back to QUILLORY_HOME or the executable's folder.
void SetProgramFolder(const std::filesystem::path& folder);

// The folder ChooseProgramFolder gives, the per-user data folder created
// when it is the one chosen.
[[nodiscard]] std::filesystem::path
UseProgramFolder(const FolderCandidates& candidates,
                 const std::function<bool(const std::filesystem::path&)>& writable = CanWriteTo);

// The program folder of this process (UseProgramFolder of CurrentCandidates).
[[nodiscard]] std::filesystem::path ProgramFolder();

// The folder of the running executable.
[[nodiscard]] std::filesystem::path ExecutableFolder();

// TMPDIR or /tmp, with a trailing "/".
[[nodiscard]] std::string GetTempFolder();

// The name of a process's own folder in the temporary folder:
// "quillory-<uid>-<pid>".
[[nodiscard]] std::string ProcessTempFolderName(unsigned uid, long pid);

// This process's own folder in the temporary folder, where the spreadsheet
// files of the reports go (test.xls, zonghe.xls and the workbooks made of
// them), so that two programs on one machine never write over each other's.
// Created on first use, open to the user only (0700), and kept after the run:
// the workbook it holds stays open in the spreadsheet. Throws
// std::runtime_error naming the folder when something else stands in its
// place: a file, a link, or a folder another user owns or may enter.
[[nodiscard]] std::filesystem::path ProcessTempFolder();

// Removes from the temporary folder the folders of this user's earlier
// runs whose process is gone and that have not changed for a day; every
// other entry stays. Failures are ignored: nothing depends on the removal.
void RemoveStaleProcessTempFolders();

// Removes from the folder (the program folder) the temporary files that
// this user's writers left when they were killed: ".q<pid>-<random>.tmp"
// whose process is gone, the ".<name>.<pid>.tmp" of earlier versions whose
// process is gone, and their "成绩分析_<table>.xlsx.part" unchanged for a
// day. Every other entry stays; failures are ignored.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder);

// The file at folder/name, the name compared without regard to ASCII case
// (A.DBF answers for a.dbf). Empty when there is none.
[[nodiscard]] std::filesystem::path FindFileNoCase(const std::filesystem::path& folder,
                                                   const std::string& name);

} // namespace os
