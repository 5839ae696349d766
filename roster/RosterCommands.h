#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "roster/ClassRule.h"
#include "roster/Import.h"
#include "roster/TableLists.h"
#include "roster/Verify.h"
#include "stats/ClassesCommand.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The roster commands over a workspace: a class list imported into the
// table `ids`, and the exam-number check of the opened table against it.
// Each returns what it did; the front end decides what to show.
namespace roster {

// What an import did: the students taken into `ids`, the rows skipped, the
// problems of the list by kind, and the summary lines (ImportSummary).
struct RosterImport {
    std::filesystem::path file;
    std::size_t taken = 0;
    std::size_t skipped = 0;
    std::size_t emptyIds = 0;
    std::size_t duplicateIds = 0;
    std::size_t digitsLost = 0;
    std::size_t withoutClass = 0; // taken, with an empty class
    bool withSubject = false;
    std::vector<std::string> summary;
};

// Reads the class list and replaces the rows of `ids` with its students in
// one transaction. A list that cannot be read or has no exam-number column
// throws roster::Error naming the file and the problem; a database error
// throws db::Error; either way `ids` is left as it was.
[[nodiscard]] RosterImport ImportRoster(core::Workspace& ws, core::Ui& ui,
                                        const std::filesystem::path& file,
                                        const ImportOptions& options = {});

// The check of the opened table: its sheets and the roster as they were
// read, what the check found, and the report it wrote. Stopped, with a
// message, when no table is open.
struct TableCheck {
    core::Outcome outcome = core::Outcome::Stopped;
    std::string table;
    SheetsInOrder sheets;
    std::optional<Roster> roster; // none when `ids` is missing or empty
    VerifyResult result;
    std::filesystem::path report; // 考号核对_<表名>.txt in the home folder

    [[nodiscard]] const Roster* rosterOrNull() const { return roster ? &*roster : nullptr; }
};

// Reads the opened table once in exam-number order and `ids` once, checks
// the numbers (classes told by `classes` when there is no roster) and writes
// the report, GBK with CR LF.
[[nodiscard]] TableCheck VerifyTable(core::Workspace& ws, core::Ui& ui,
                                     const ClassCodeRule& classes);
// The check with the classes the class settings tell, which are then kept as
// the table's last used class settings.
[[nodiscard]] TableCheck VerifyTable(core::Workspace& ws, core::Ui& ui,
                                     const stats::ClassSettings& classes);

// How the class-statistics dialog's settings read a class from a number.
[[nodiscard]] ClassCodeRule ClassRuleOf(const stats::ClassSettings& settings);

} // namespace roster
