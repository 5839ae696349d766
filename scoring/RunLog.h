#pragma once

#include "core/Config.h"
#include "platform/db/Connection.h"
#include "scoring/ScoreCommand.h"

#include <cstdint>
#include <optional>
#include <string>

// The settings of every scoring run that wrote scores, kept in the scratch
// database's table quillory_runs (one row per run) so that later commands
// (the exam analysis, the window's "载入上次的答案") know what the scores
// mean. The newest row of a table is its last run.
namespace scoring {

inline constexpr const char* RunsTableName = "quillory_runs";

// One stored run: what the answer-key panels held, as typed, and the two
// switches of the run. Segments the run did not read (beyond the chosen
// number) are stored as 0 questions worth "0".
struct RecordedRun {
    std::int64_t id = 0;
    std::string table;
    std::string time; // local time of the run, "2026-12-07 11:42:06"
    ScoringSettings settings;
    bool fullMatch = false;
    bool yuwenM = false;
};

// What a run stores: the panels as typed, the switches, the time now.
[[nodiscard]] RecordedRun RunRecordOf(const std::string& table, const ScoringSettings& typed,
                                      const core::FieldSettings& fields);

// Adds the run's row, creating the table on first use. Call it inside the
// transaction that writes the run's scores, so that both stay or neither.
void RecordRun(db::Connection& connection, const RecordedRun& run);

// The newest run of `table` (names compared without regard to case), nullopt
// when the table has never been scored.
[[nodiscard]] std::optional<RecordedRun> LastRun(db::Connection& connection,
                                                 const std::string& table);

} // namespace scoring
