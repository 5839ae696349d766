#pragma once

#include "core/Config.h"
#include "platform/db/Connection.h"
#include "scoring/ExamRun.h"

#include <cstdint>
#include <optional>
#include <string>

// The settings of every scoring run that wrote scores, kept in the scratch
// database's table quillory_runs (one row per run) so that later commands
// (the exam analysis, the window's "载入上次的答案") know what the scores
// mean. The newest row of a table is its last run.
namespace scoring {

inline constexpr const char* RunsTableName = "quillory_runs";

// What a run stores: the panels as typed, the switches, the time now; the
// questions are not made (AcceptedRun makes them of what is stored).
[[nodiscard]] ExamRun RunRecordOf(const std::string& table, const ScoringSettings& typed,
                                  const core::FieldSettings& fields);

// Adds the run's row, creating the table on first use. Call it inside the
// transaction that writes the run's scores, so that both stay or neither.
void RecordRun(db::Connection& connection, const ExamRun& run);

// The newest run of `table` (names compared without regard to case) as
// stored, its questions not made; nullopt when the table has never been
// scored.
[[nodiscard]] std::optional<ExamRun> LastRun(db::Connection& connection, const std::string& table);

} // namespace scoring
