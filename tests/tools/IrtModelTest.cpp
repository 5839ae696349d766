// The item-response model of the sample generator: reproducible, its key in
// the key fields' syntax, and sheets that analyse like a real exam.
#include "tools/gen-answer-table/IrtModel.h"
#include "analysis/Analysis.h"
#include "tests/analysis/MemorySheets.h"
#include "tests/support/TempHome.h"
#include "tools/gen-answer-table/AnswerTable.h"

#include <gtest/gtest.h>

#include <bit>

namespace {

using tools::IrtModel;

TEST(IrtModel, TheSameSeedGivesTheSameTableAndKey) {
    testsupport::TempHome home;
    tools::AnswerTableLayout layout;
    layout.model = "irt";
    layout.records = 200;
    layout.multi = 10;
    const tools::AnswerKey a = tools::WriteAnswerTable(home / "a.dbf", layout);
    const tools::AnswerKey b = tools::WriteAnswerTable(home / "b.dbf", layout);
    layout.seed = 2;
    const tools::AnswerKey c = tools::WriteAnswerTable(home / "c.dbf", layout);
    EXPECT_EQ(testsupport::ReadBytes(home / "a.dbf"), testsupport::ReadBytes(home / "b.dbf"));
    EXPECT_EQ(a.single, b.single);
    EXPECT_NE(testsupport::ReadBytes(home / "a.dbf"), testsupport::ReadBytes(home / "c.dbf"));
    EXPECT_NE(a.single + a.multi, c.single + c.multi);
}

TEST(IrtModel, TheKeyIsWrittenAsTheKeyFieldsTakeIt) {
    const IrtModel model(23, 6, 5, 3, 9);
    const std::string& single = model.key().single;
    // 17 letters in groups of five: one separator after each full group.
    ASSERT_EQ(single.size(), 17u + 3u);
    for (std::size_t i = 0; i < single.size(); ++i) {
        if (i % 6 == 5)
            EXPECT_EQ(single[i], ';') << single;
        else
            EXPECT_TRUE(single[i] >= 'A' && single[i] <= 'E') << single;
    }
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t semi; (semi = model.key().multi.find(';', start)) != std::string::npos;
         start = semi + 1)
        pieces.push_back(model.key().multi.substr(start, semi - start));
    pieces.push_back(model.key().multi.substr(start));
    ASSERT_EQ(pieces.size(), 6u) << model.key().multi;
    for (const std::string& p : pieces) {
        EXPECT_TRUE(!p.empty() && p.size() < 5) << p;
        EXPECT_TRUE(std::is_sorted(p.begin(), p.end())) << p;
        EXPECT_EQ(p.find_first_not_of("ABCDE"), std::string::npos) << p;
    }
}

TEST(IrtModel, OptionsOutsideTheRangeAreRejected) {
    EXPECT_THROW(IrtModel(10, 0, 7, 1, 1), std::invalid_argument);
    EXPECT_THROW(IrtModel(10, 11, 4, 1, 1), std::invalid_argument);
    EXPECT_THROW(IrtModel(10, 2, 2, 1, 1), std::invalid_argument);
}

// The model's sheets scored against its key as the run scores them
// (single: the key's mark; multiple: all letters full, a part partial).
struct Drawn {
    testsupport::MemorySheets sheets;
    std::array<int, 4> kinds{}; // blanks, multi-marks, unreadable, marks in all
    std::vector<double> classTotal = std::vector<double>(4, 0.0);
};

Drawn Draw(IrtModel& model, int sheets, int single) {
    Drawn d;
    std::vector<unsigned> keys;
    for (char c : model.key().single)
        if (c != ';')
            keys.push_back(1u << (c - 'A'));
    std::string multiKey = model.key().multi + ";";
    for (std::size_t s = 0, e; (e = multiKey.find(';', s)) != std::string::npos; s = e + 1) {
        unsigned mask = 0;
        for (std::size_t i = s; i < e; ++i)
            mask |= 1u << (multiKey[i] - 'A');
        keys.push_back(mask);
    }
    std::string content;
    for (int i = 0; i < sheets; ++i) {
        model.fill(i % 4, content);
        std::vector<std::optional<float>> points;
        for (std::size_t k = 0; k < content.size(); ++k) {
            const auto code = static_cast<unsigned char>(content[k]);
            const unsigned mask = code >= 48 && code <= 111 ? code - 48u : 0u;
            const bool inRange = code >= 48 && code <= 111;
            d.kinds[0] += code == '0';
            d.kinds[1] +=
                inRange && std::popcount(mask) >= 2 && k < static_cast<std::size_t>(single);
            d.kinds[2] += !inRange;
            ++d.kinds[3];
            float earned = 0;
            if (k < static_cast<std::size_t>(single))
                earned = mask == keys[k] ? 1.0f : 0.0f;
            else if (mask == keys[k])
                earned = 2.0f;
            else if (mask && !(mask & ~keys[k]))
                earned = 1.0f;
            points.push_back(earned);
            d.classTotal[static_cast<std::size_t>(i % 4)] += earned;
        }
        d.sheets.add(content, points);
    }
    return d;
}

TEST(IrtModel, SheetsAnalyseLikeARealExam) {
    IrtModel model(50, 10, 4, 4, 2026);
    Drawn d = Draw(model, 4000, 40);
    const double marks = d.kinds[3];
    EXPECT_GT(d.kinds[0] / marks, 0.003) << "a few blanks";
    EXPECT_LT(d.kinds[0] / marks, 0.04);
    EXPECT_GT(d.kinds[1] / (marks * 0.8), 0.002) << "a few marks of two options";
    EXPECT_LT(d.kinds[1] / (marks * 0.8), 0.01);
    EXPECT_GT(d.kinds[2] / marks, 0.0005) << "a few unreadable bytes";
    EXPECT_LT(d.kinds[2] / marks, 0.004);

    scoring::ExamRun run;
    run.table = "irt";
    run.settings.counts = {40};
    run.settings.points = {"1"};
    run.settings.singleKey = model.key().single;
    run.settings.multiCount = 10;
    run.settings.full = "2";
    run.settings.partial = "1";
    run.settings.multiKey = model.key().multi;
    const analysis::ExamAnalysis a = analysis::Analyze(scoring::AcceptedRun(run), d.sheets);
    ASSERT_TRUE(a.alpha);
    EXPECT_GT(*a.alpha, 0.8) << "fifty questions on one ability";
    double lowest = 1, highest = 0;
    int partial = 0;
    for (const analysis::ItemFigures& item : a.items) {
        EXPECT_FALSE(item.suspect) << "question " << item.position << ": the key is the real one";
        EXPECT_GT(*item.d, 0) << "question " << item.position;
        lowest = std::min(lowest, item.p);
        highest = std::max(highest, item.p);
        if (item.multi)
            partial += item.multi->partial > 0;
        if (!item.single)
            continue;
        // The attractive distractor: the most chosen wrong option draws
        // clearly more than an even share of the wrong answers.
        std::int64_t wrong = 0, most = 0;
        for (std::size_t c = 0; c < 4; ++c) {
            if (item.single->options[c].earns)
                continue;
            wrong += item.single->options[c].count;
            most = std::max(most, item.single->options[c].count);
        }
        EXPECT_GT(static_cast<double>(most) / static_cast<double>(wrong), 0.38)
            << "question " << item.position;
    }
    EXPECT_LT(lowest, 0.5) << "some hard questions";
    EXPECT_GT(highest, 0.8) << "some easy questions";
    EXPECT_GE(partial, 8) << "multiple choice answered with parts of the key";
    const auto [low, high] = std::minmax_element(d.classTotal.begin(), d.classTotal.end());
    EXPECT_GT((*high - *low) / 1000.0, 1.0) << "classes differ by more than a point on average";
}

} // namespace
