#pragma once

#include "tests/support/DbfWriter.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// An answer table: BH C(9, or the longest exam number), CONTENT C(width), FLAG C(1), SUBJECT C(2),
// and a score column SCORE when scoreType is 'N' (N 5,1), 'I' (N 3,0) or 'C' (C 5).
inline void WriteAnswers(const std::filesystem::path& file,
                         const std::vector<std::pair<std::string, std::string>>& sheets,
                         char scoreType = 'N', int width = 0) {
    int idWidth = 9;
    for (const auto& s : sheets)
        idWidth = std::max(idWidth, static_cast<int>(s.first.size()));
    if (width == 0)
        for (const auto& s : sheets)
            width = std::max(width, static_cast<int>(s.second.size()));
    std::vector<DbfColumn> cols = {{"BH", 'C', idWidth},
                                   {"CONTENT", 'C', std::max(width, 1)},
                                   {"FLAG", 'C', 1},
                                   {"SUBJECT", 'C', 2}};
    if (scoreType == 'N')
        cols.push_back({"SCORE", 'N', 5, 1});
    else if (scoreType == 'I')
        cols.push_back({"SCORE", 'N', 3, 0});
    else if (scoreType == 'C')
        cols.push_back({"SCORE", 'C', 5});
    std::vector<std::vector<DbfCell>> rows;
    for (const auto& [id, content] : sheets) {
        std::vector<DbfCell> row = {id, content, std::string("0"), std::string("01")};
        if (scoreType)
            row.push_back(std::nullopt);
        rows.push_back(row);
    }
    WriteDbf(file, cols, rows);
}

// The sheets in a fixed order that is not their exam-number order (every
// second one from the back, then the others from the front), so that a value
// written to the wrong row, or a row left out, shows in a test.
template <class T> std::vector<T> Shuffled(const std::vector<T>& in) {
    std::vector<T> out;
    for (std::size_t i = in.size(); i-- > 0;)
        if (i % 2 == 1)
            out.push_back(in[i]);
    for (std::size_t i = 0; i < in.size(); i += 2)
        out.push_back(in[i]);
    return out;
}

// n sheets 202601001.. with content of `questions` marks.
inline std::vector<std::pair<std::string, std::string>> Sheets(int n, int questions) {
    std::vector<std::pair<std::string, std::string>> s;
    for (int i = 0; i < n; ++i) {
        std::string content;
        for (int q = 0; q < questions; ++q)
            content += "1248"[(i + q) % 4];
        s.emplace_back(std::to_string(202601001 + i), content);
    }
    return s;
}

} // namespace testsupport
