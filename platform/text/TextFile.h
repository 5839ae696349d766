#pragma once

#include "platform/text/Encoding.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Text files as the system writes them: a list of UTF-8 lines saved as GBK
// (a report written whole may be UTF-8 instead), every line ended by CR LF.
namespace text {

// Replaces the file whole or not at all: the bytes go to a temporary file
// in the same folder, which is renamed over the file once it is complete.
// Throws std::runtime_error naming the file and the reason on failure (a
// full disk among them); the file is then as it was.
void WriteWhole(const std::filesystem::path& file, std::string_view bytes);

// Appends the bytes in one write, creating the file when it is missing:
// an entry is there whole or not at all. Throws as WriteWhole does.
void AppendWhole(const std::filesystem::path& file, std::string_view bytes);

// Replaces the file (WriteWhole). Throws std::runtime_error naming the file
// on failure.
void SaveLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

// Replaces the file (WriteWhole) with the lines in the encoding: a report
// written whole, in the encoding the user chose.
void SaveLines(const std::filesystem::path& file, const std::vector<std::string>& lines,
               Encoding encoding);

// Appends the lines as one entry (AppendWhole), always in GBK: a log that is
// appended to never mixes encodings.
void AppendLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

// A log opened for appending before the change it records is made, so that
// a log that cannot be written stops the change, and appended to only once
// the change is committed, so that it never names a change that did not
// happen. One entry per opening.
class LogFile {
  public:
    // Opens the file, creating it when it is missing. Throws as WriteWhole
    // does.
    explicit LogFile(const std::filesystem::path& file);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Appends the lines as one entry in GBK, as AppendLines does, and closes
    // the file. Throws as WriteWhole does.
    void append(const std::vector<std::string>& lines);
    void appendBytes(std::string_view bytes);

  private:
    std::filesystem::path mFile;
    int mFd = -1;
};

// The text of one field of a log line: control characters, the tabs that
// separate the fields and the line breaks that end the lines among them,
// become blanks, so that no field can end its line or forge another.
[[nodiscard]] std::string LogField(std::string_view text);

// The local time as the logs write it: "2026-12-07 11:42:06".
[[nodiscard]] std::string LocalTimeNow();

// Reads a GBK text file into UTF-8 lines (CR LF or LF line ends).
[[nodiscard]] std::vector<std::string> LoadLines(const std::filesystem::path& file);

// The bytes SaveLines writes for these lines.
[[nodiscard]] std::string GbkLines(const std::vector<std::string>& lines);

} // namespace text
