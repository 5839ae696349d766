#pragma once

#include "core/Workspace.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The comprehensive-subject statistics: the objective questions split into up
// to six consecutive subject ranges, each class's and the grade's average
// points per subject, every sheet's subject points in the table `zonghe`.
namespace stats {

struct SubjectSettings {
    std::array<std::string, 6> names; // the six subjects' names ("" when none is chosen)
    std::array<int, 6> starts{1, 19, 37, 55, 62, 69}; // sptZonghe1..6
};

// The preset for a paper of `questions` questions whose table name holds
// "理科" or "文科"; nullopt when none applies.
[[nodiscard]] std::optional<SubjectSettings> PresetFor(int questions, const std::string& tableName);

// The subject (0..5) of each question 1..N, -1 for none; index 0 unused.
[[nodiscard]] std::vector<int> SubjectsOf(const std::array<int, 6>& starts, int N);

// One class of the run, as the class statistics found it.
struct ComprehensiveClass {
    std::string code;  // its class code (zonghe's CLS)
    std::string label; // the report's label column, already padded
    long long count = 0;
};

// Reads the matched sheets once more, class by class in exam-number order,
// fills `zonghe` (created or emptied) and writes "综合科统计_<table>.txt".
// `sheets` pairs each matched sheet's rowid with its class (an index into
// `classes`). Returns the report's path.
std::string RunComprehensive(core::Workspace& ws, const SubjectSettings& subjects, int N,
                             const std::vector<ComprehensiveClass>& classes,
                             const std::vector<std::pair<std::int64_t, int>>& sheets,
                             double gradeAverage);

} // namespace stats
