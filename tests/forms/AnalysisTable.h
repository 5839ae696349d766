#pragma once

// The table of the analysis window's tests: eight sheets scored with a wrong
// key for the fourth question. Every figure the tests expect was worked out
// by hand from these sheets.
#include "scoring/ScoreCommand.h"

#include <string>
#include <utility>
#include <vector>

namespace analysistest {

// Mark codes: A 1, B 2, C 4, D 8, AB 3, ABC 7, blank 0. Four single-choice
// questions worth 1 keyed ABCA (the fourth should be D: the strong sheets
// chose D, none of the weakest did), one multiple-choice question keyed AB
// worth 2, partial 1.
//                                       q1 q2 q3 q4  multi   total
inline const std::vector<std::pair<std::string, std::string>> kSheets = {
    {"202601001", "12483"}, //          A  B  C  D   AB full  3 + 2 = 5
    {"202601002", "12481"}, //          A  B  C  D   A part   3 + 1 = 4
    {"202601003", "12413"}, //          A  B  C  A   AB full  4 + 2 = 6
    {"202601004", "12212"}, //          A  B  B  A   B part   3 + 1 = 4
    {"202601005", "42117"}, //          C  B  A  A   ABC none 2 + 0 = 2
    {"202601006", "21110"}, //          B  A  A  A   blank    1 + 0 = 1
    {"202601007", "10344"}, //          A  -  AB C   C none   1 + 0 = 1
    {"202601008", "84111"}, //          D  C  A  A   A part   1 + 1 = 2
};
// Ordered by total, ties by exam number: 003 001 002 004 005 008 006 007;
// 27 % of 8 sheets is a group of 2: upper 003 and 001, lower 006 and 007.

inline scoring::ScoringSettings Settings() {
    scoring::ScoringSettings st;
    st.segmentChoice = 1;
    st.counts = {4, 0, 0, 0};
    st.enabled = {true, false, false, false};
    st.points = {"1", "0", "0", "0"};
    st.singleKey = "ABCA";
    st.multiCount = 1;
    st.full = "2";
    st.partial = "1";
    st.multiKey = "AB";
    return st;
}

} // namespace analysistest
