#pragma once

#include <filesystem>
#include <string>

namespace core {

class Ui;

// The column names of the answer table and the two scoring switches, for the
// whole run. Names are used in SQL text as they stand and matched without
// regard to case.
struct FieldSettings {
    std::string Content = "CONTENT";
    std::string Score = "SCORE";
    std::string ID = "ID";
    std::string Flag = "FLAG";
    std::string Subject = "SUBJECT";
    bool FullMatch = false;
    bool yuwen_m = false;
    // The code page of every .dbf's text ([General] CodePage, e.g. 936),
    // whatever its header names; 0 lets each header decide. Read, never written.
    int CodePage = 0;
};

// Reads config.ini (GBK). A missing file gives its own defaults, a missing
// key the key's default; yuwen_m is read, never written.
void LoadConfig(const std::filesystem::path& file, FieldSettings& fields);

// Writes the five names and FullMatch, keeping every other section, key and
// comment. False when the file cannot be read or written.
[[nodiscard]] bool SaveConfig(const std::filesystem::path& file, const FieldSettings& fields);

// SaveConfig, with "不能保存配置信息。" shown when it fails.
void SaveConfig(const std::filesystem::path& file, const FieldSettings& fields, Ui& ui);

} // namespace core
