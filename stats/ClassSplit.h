#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"
#include "stats/ClassesCommand.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// How class settings split the open table's sheets into classes, before the
// class statistics run, with the classes of stats/ClassAssignment, so that
// the preview and the run cannot disagree; a suggestion of settings that fit
// the exam numbers found; what is said about sheets that fall into no class.
namespace stats {

// The sheets of the table under one set of class settings. A sheet outside
// every class is counted once: in exam-number mode by why (an exam number of
// the class pattern's length and prefix whose class is outside the range, or
// one of another length or prefix, or none); with predefined classes as
// having no class in the roster.
struct ClassSplit {
    std::string problem; // the settings' refusal, or why the table cannot be read; nothing counted
    bool predefined = false;
    long long sheets = 0;
    long long inClasses = 0;
    long long outsideRange = 0; // exam-number mode: the right shape, a class outside the range
    long long otherShape = 0;   // exam-number mode: another length or prefix; predefined: no class
    std::vector<std::pair<std::string, long long>>
        classes; // the classes with sheets, in class order

    [[nodiscard]] long long withoutClass() const { return outsideRange + otherShape; }
};

// Reads the table once (its exam numbers, and with predefined classes the
// class each sheet will get from `ids`) and splits it as the run would. The
// table and `ids` are only read: CLS is filled by the run, not here.
[[nodiscard]] ClassSplit SplitTable(core::Workspace& ws, const ClassSettings& settings);

// "按当前设置：45 份答卷分入 3 个班，5 份不属于任何班（…）。" or the problem.
[[nodiscard]] std::string SplitSummary(const ClassSplit& split);
// "找到的班级：01 (20)、02 (15)"; empty when no class has sheets.
[[nodiscard]] std::string SplitClasses(const ClassSplit& split);

// Exam-number settings that fit the table: the exam numbers' most common
// length, their common prefix (left so that the class code and one more
// character follow it) and the class range the codes of `codeLength`
// characters after it show. When the prefix ends in the codes' common leading
// zero (classes 01 to 09), the zero goes back to the codes if that gives a
// closer range; a guess, which the preview of the split then shows.
struct ClassSuggestion {
    bool prefixMode = true; // false when there is no common prefix: the code starts the number
    std::string prefix;
    int totalLength = 0;
    std::optional<std::pair<int, int>>
        range; // first and last class found, when the codes are numbers
};
[[nodiscard]] std::optional<ClassSuggestion> SuggestClasses(core::Workspace& ws, int codeLength);

// The settings with a suggestion applied; the code length and the rest kept.
[[nodiscard]] ClassSettings Applied(ClassSettings settings, const ClassSuggestion& suggestion);

// What the run says after its report when sheets fell into no class.
[[nodiscard]] std::string WithoutClassNotice(long long sheets, bool predefined);

// F10 on a table that has no scoring run yet: the question whether to go on
// (default Yes). True when the table has been scored or the user goes on.
[[nodiscard]] bool GoOnWithoutScores(core::Workspace& ws, core::Ui& ui);

} // namespace stats
