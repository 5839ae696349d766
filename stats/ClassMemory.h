#pragma once

#include "platform/db/Connection.h"
#include "stats/ClassesCommand.h"

#include <optional>
#include <string>

// The class settings last used for each table, kept in the scratch
// database's table quillory_class_settings (one row per table), so that the
// class dialog, the results workbook and the exam-number check reopen with
// the classes the teacher last used instead of guessing afresh. Only how
// classes are told is kept: the question count and the comprehensive-subject
// settings are not.
namespace stats {

inline constexpr const char* ClassSettingsTableName = "quillory_class_settings";

// Keeps `settings` as the table's last used class settings (names compared
// without regard to case), creating the table on first use. Exam-number
// settings whose class pattern is unsound (ClassPatternProblem) are not
// kept: the settings kept before stay.
void RememberClassSettings(db::Connection& connection, const std::string& table,
                           const ClassSettings& settings);

// The table's last used class settings; nullopt when none were kept. The
// question count and the subject settings are left as a fresh ClassSettings
// has them.
[[nodiscard]] std::optional<ClassSettings> RememberedClassSettings(db::Connection& connection,
                                                                   const std::string& table);

// What opening the class dialog gives: the table's remembered settings when
// there are any, else the dialog's first state (start-position mode) with the
// guessed prefix and exam-number length; the question count is guessed
// either way.
[[nodiscard]] ClassSettings OpeningSettings(const std::optional<ClassSettings>& remembered,
                                            const DialogGuess& guess);

} // namespace stats
