#pragma once

#include "platform/text/Encoding.h"

#include <filesystem>
#include <string>
#include <vector>

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
    bool YuwenM = false; // [General] yuwen_m
    // The code page of every .dbf's text ([General] CodePage, e.g. 936),
    // whatever its header names; 0 lets each header decide. Read, never written.
    int CodePage = 0;
    // The encoding of every report written whole ([General] TextEncoding:
    // GBK, the default, or UTF-8); appended logs stay GBK. Read, never written.
    text::Encoding TextEncoding = text::Encoding::Gbk;
};

// Reads config.ini (GBK). A missing file gives its own defaults, a missing
// key the key's default; yuwen_m is read, never written.
void LoadConfig(const std::filesystem::path& file, FieldSettings& fields);

// What config.ini holds that the program cannot use, each said in words
// with what is used instead: a TextEncoding other than GBK or UTF-8 (the
// reports are then GBK). Empty when everything in it can be used.
[[nodiscard]] std::vector<std::string> ConfigProblems(const std::filesystem::path& file);

// Writes the five names and FullMatch, keeping every other section, key and
// comment. False when the file cannot be read or written.
[[nodiscard]] bool SaveConfig(const std::filesystem::path& file, const FieldSettings& fields);

// SaveConfig, with "不能保存配置信息。" shown when it fails.
void SaveConfig(const std::filesystem::path& file, const FieldSettings& fields, Ui& ui);

} // namespace core
