#pragma once

#include "analysis/Analysis.h"
#include "analysis/Result.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "scoring/RunLog.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Correcting the key of one single-choice question of the open table's last
// scoring run without scoring the whole table again: a preview that writes
// nothing, and the correction itself, which leaves the table, the recorded
// runs, the statistics file and the key history exactly as a full scoring
// run with the corrected key would leave them.
//
// Both functions run on the caller's thread and walk the whole table once
// (the preview reads again the sheets whose totals sit at a group cut);
// progress goes to the Ui. The preview keeps a compact copy of the sheets
// (about a byte per question and sheet, at most some 140 MB; a larger table
// is read twice instead) for the analysis's second walk. They read the open view (ws.view) and the
// table's last run; FullMatch and yuwen_m are the last run's, since the
// stored points were made with them.
namespace analysis {

// The correction asked for: question `question` (1-based, counted among the
// single-choice questions only) gets the key letter `key`.
struct RekeyRequest {
    int question = 0;
    char key = 0; // 'A' .. 'F'
};

// A correction that cannot be made: no open table, a table never scored, a
// question number outside the single-choice questions, a key that is not
// one of A to F, a question keyed "x" or "z". Thrown before anything is
// read or written; the text is Chinese and says why.
class RekeyRefused : public Error {
  public:
    using Error::Error;
};

// What a correction would change, from the sheets with the question
// re-scored in memory. When `unchanged` is set the key asked for is the
// current one: `notice` says so and every other figure is empty.
struct RekeyPreview {
    bool unchanged = false;
    std::string notice;
    int question = 0; // as asked, among the single-choice questions
    int position = 0; // in the content and among f1, f2, ...
    char oldKey = 0;  // the last run's key character
    char newKey = 0;
    std::string correctedKey; // the typed single-choice key with the character replaced
    std::int64_t sheets = 0;  // sheets of the table
    std::int64_t changed = 0; // sheets whose points on the question (so their totals) change
    // The changes of a sheet's points on the question (new minus stored, a
    // NULL counting 0), largest rise first, each with its number of sheets;
    // no entry for 0.
    std::vector<std::pair<double, std::int64_t>> differences;
    double meanChange = 0;           // the change of the mean total
    ExamAnalysis analysis;           // the whole analysis with the corrected key
    std::optional<ItemFigures> item; // the question's figures; nullopt when it is worth 0
};

// Shows what the correction would change; writes nothing and asks nothing.
// Throws RekeyRefused for a correction that cannot be made, Error for a
// table that no longer fits its run (as the analysis does), db::Error for
// the database's failures.
[[nodiscard]] RekeyPreview PreviewRekey(core::Workspace& ws, core::Ui& ui,
                                        const RekeyRequest& request,
                                        const AnalysisOptions& options = {});

// What a correction did. When `unchanged` is set the key asked for was the
// current one: `notice` says so and nothing was written, unless the last
// run's statistics file or history entry was behind it (a program ended
// between the run's commit and its files): those are then written as the
// run would have written them, named in `statistics` and `history` and in
// the notice, and the table is left as it is.
struct RekeyResult {
    bool unchanged = false;
    std::string notice;
    std::int64_t rowsChanged = 0;     // rows whose question points or score were rewritten
    scoring::ExamRun run;             // the run recorded with the corrected key
    std::filesystem::path statistics; // 统计_<表名>.txt, rewritten (empty when not)
    std::filesystem::path history;    // 标准答案历史.log, appended to (empty when not)
    // Reports of the table written before, which the correction has made out
    // of date (those that exist: class statistics, comprehensive statistics,
    // the results workbook, the exam analysis).
    std::vector<std::filesystem::path> outOfDate;
};

// Re-scores the question with the corrected key: in one transaction, which
// holds the write lock from the reading of the last run on, its column and
// the score field of every sheet whose points change (the total computed
// afresh as the scoring run computes it), and a new run in quillory_runs
// with the corrected key; then, once that is committed, the statistics file
// rewritten and the key history appended to, as the scoring run writes them
// (the last run's own entry first when it is missing). Throws
// RekeyRefused as PreviewRekey does; core::AppError for a content too short
// for the run (nothing written); db::Error for the database's failures.
RekeyResult ApplyRekey(core::Workspace& ws, core::Ui& ui, const RekeyRequest& request);

// The typed single-choice key with its `question`-th key character (blanks,
// commas and semicolons not counted) replaced by `key`, every separator kept.
// Throws RekeyRefused when the key has fewer key characters.
[[nodiscard]] std::string CorrectedKey(const std::string& typed, int question, char key);

} // namespace analysis
