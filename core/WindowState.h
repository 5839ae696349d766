#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What the window keeps between runs, per home folder: its place on the
// screen, the grid's column widths per table and the tables opened last.
// Kept in config.ini's [Window], [ColumnWidths] and [Recent] sections (GBK),
// beside the field names, so that every home folder has its own.
namespace core {

struct WindowPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
};

// A column's width in the grid, by the column's name.
struct ColumnWidth {
    std::string column;
    int width = 0;
};

inline constexpr std::size_t kRecentCount = 8;

struct WindowState {
    std::optional<WindowPlace> place; // none before the first run ended
    // By table name as the user wrote it; looked up without regard to case.
    std::map<std::string, std::vector<ColumnWidth>> columnWidths;
    std::vector<std::string> recent; // .dbf paths, newest first, at most kRecentCount

    // The widths stored for a table, found without regard to case.
    [[nodiscard]] const std::vector<ColumnWidth>* widthsOf(const std::string& table) const;
    // Replaces the widths of a table.
    void setWidths(const std::string& table, std::vector<ColumnWidth> widths);
};

// Reads the sections; a missing file or section gives an empty state, a value
// that is not a number (or a place without a positive size) is left out.
[[nodiscard]] WindowState LoadWindowState(const std::filesystem::path& configFile);

// Writes the three sections anew, keeping every other section, key and
// comment of the file. False when the file cannot be read or written.
[[nodiscard]] bool SaveWindowState(const std::filesystem::path& configFile,
                                   const WindowState& state);

// Puts a file at the head of the list (once: a path already there moves up)
// and keeps the newest kRecentCount.
void AddRecent(std::vector<std::string>& recent, const std::string& file);

// Takes a file out of the list.
void RemoveRecent(std::vector<std::string>& recent, const std::string& file);

} // namespace core
