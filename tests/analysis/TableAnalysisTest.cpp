// The analysis command over a scored scratch table: the figures are the
// engine's on the same sheets in exam-number order, the files are written,
// and every refusal writes nothing.
#include "analysis/AnalyzeCommand.h"
#include "analysis/JsonReport.h"
#include "analysis/TextReport.h"
#include "core/OpenTable.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"
#include "scoring/ScoreCommand.h"
#include "tests/analysis/MemorySheets.h"
#include "tests/support/AnswerTables.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace {

using namespace analysis;
using testsupport::Mark;

// One sheet as the test writes it: exam number, single-choice letters (' '
// a blank) and the multiple-choice mark code ("" for a content that stops at
// the single-choice part).
struct Written {
    std::string id;
    std::string singles;
    std::string multi;
};

// Five single-choice questions (two worth 1, three worth 2) keyed ABCDA, one
// multiple-choice question keyed AB worth 4 (partial 2).
scoring::ScoringSettings Settings() {
    scoring::ScoringSettings st;
    st.segmentChoice = 2;
    st.counts = {2, 3, 0, 0};
    st.enabled = {true, true, false, false};
    st.points = {"1", "2", "0", "0"};
    st.singleKey = "ABCDA";
    st.multiCount = 1;
    st.full = "4";
    st.partial = "2";
    st.multiKey = "AB";
    return st;
}

const std::string kKey = "ABCDA";
const float kWorth[] = {1, 1, 2, 2, 2};

std::string Content(const Written& w) {
    std::string c;
    for (char letter : w.singles)
        c += letter == ' ' ? '0' : Mark(letter);
    return c + w.multi;
}

// The points a run stores for the sheet, worked out by hand.
std::vector<std::optional<float>> Points(const Written& w) {
    std::vector<std::optional<float>> p;
    for (std::size_t k = 0; k < 5; ++k)
        p.push_back(w.singles[k] == kKey[k] ? kWorth[k] : 0.0f);
    if (w.multi.empty())
        p.push_back(0.0f);
    else
        p.push_back(w.multi == "3" ? 4.0f : w.multi == "1" || w.multi == "2" ? 2.0f : 0.0f);
    return p;
}

// In record order. Totals: 003 and 001 tie at the top (11), 005 and 002 at
// the bottom (0), and the record order puts them the other way round from
// the exam numbers, so a group of one sheet shows which order was used.
const std::vector<Written> kSheets = {
    {"202601003", "BBCDA", "3"}, // 0 + 1 + 2 + 2 + 2, AB full 4: 11
    {"202601001", "ACCDA", "3"}, // 1 + 0 + 2 + 2 + 2, AB full 4: 11
    {"202601005", "     ", "0"}, // 0
    {"202601004", "AB   ", "1"}, // 1 + 1, A partial 2: 4
    {"202601000", "ABCDA", ""},  // 8, no multiple-choice mark
    {"202601002", "CCAAB", "4"}, // 0, C earns nothing: 0
};

// The JSON with every number to 12 significant digits: sums of doubles
// taken in another order differ in their last bits.
std::string Rounded(const std::string& json) {
    static const std::regex number(R"(-?\d+\.\d+(e-?\d+)?)");
    std::string out;
    auto at = json.cbegin();
    for (std::sregex_iterator it(json.begin(), json.end(), number), end; it != end; ++it) {
        out.append(at, json.cbegin() + it->position());
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.12g", std::stod(it->str()));
        out += buffer;
        at = json.cbegin() + it->position() + it->length();
    }
    return out.append(at, json.cend());
}

// Sheets walked as the table source walks them: in storage (record) order
// when any order will do, chosen records in exam-number order.
class StoredSheets : public testsupport::MemorySheets {
  public:
    explicit StoredSheets(const std::vector<Written>& stored) {
        for (const Written& w : stored)
            add({w.id, Content(w), Points(w)});
        for (std::size_t i = 0; i < stored.size(); ++i)
            mExamOrder.push_back(i);
        std::stable_sort(mExamOrder.begin(), mExamOrder.end(),
                         [&](std::size_t a, std::size_t b) { return stored[a].id < stored[b].id; });
    }
    void forEach(const std::function<void(const Sheet&)>& visit) override {
        for (std::size_t i : mExamOrder)
            visit(sheet(i));
    }
    void forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) override {
        for (std::size_t i = 0; i < sheets().size(); ++i)
            visit(sheet(i));
    }
    [[nodiscard]] bool walksRecords() const override { return true; }
    void forEachRecord(const std::vector<std::int64_t>& records,
                       const std::function<void(const Sheet&)>& visit) override {
        for (std::size_t i : mExamOrder)
            if (std::find(records.begin(), records.end(), static_cast<std::int64_t>(i) + 1) !=
                records.end())
                visit(sheet(i));
    }

  private:
    Sheet sheet(std::size_t i) {
        const testsupport::StoredSheet& s = sheets()[i];
        Sheet out;
        out.examNumber = *s.examNumber;
        out.record = static_cast<std::int64_t>(i) + 1;
        out.content = s.content;
        out.points = s.points;
        return out;
    }
    std::vector<std::size_t> mExamOrder;
};

scoring::ExamRun Description() {
    return scoring::AcceptedRun(scoring::RunRecordOf("exam", Settings(), {}));
}

class TableAnalysisTest : public ::testing::Test {
  protected:
    void SetUp() override { ws.startUp(); }

    void Open(const std::vector<Written>& sheets, const std::string& name = "exam") {
        std::vector<std::pair<std::string, std::string>> rows;
        for (const Written& w : sheets)
            rows.emplace_back(w.id, Content(w));
        testsupport::WriteAnswers(home / (name + ".dbf"), rows, 'N', 6);
        (void)core::OpenAnswerTable(ws, ui, home / (name + ".dbf"));
    }

    void Score() {
        ASSERT_EQ(scoring::ScoreAll(ws, ui, shell, Settings(), {}).outcome, core::Outcome::Done);
    }

    TableAnalysisResult Analyze(double groups = 20) {
        TableAnalysisSettings st;
        st.options.groupPercent = groups;
        st.json = home / "figures.json";
        return AnalyzeTable(ws, ui, st);
    }

    // The engine on the same sheets, in exam-number order (ties in record
    // order), with the points worked out by hand.
    ExamAnalysis Expected(std::vector<Written> sheets, double groups = 20) {
        std::stable_sort(sheets.begin(), sheets.end(),
                         [](const Written& a, const Written& b) { return a.id < b.id; });
        testsupport::MemorySheets memory;
        for (const Written& w : sheets)
            memory.add({w.id, Content(w), Points(w)});
        scoring::ExamRun run;
        run.table = "exam";
        run.settings.counts = {2, 3, 0, 0};
        run.settings.points = {"1", "2", "0", "0"};
        run.settings.singleKey = kKey;
        run.settings.multiCount = 1;
        run.settings.full = "4";
        run.settings.partial = "2";
        run.settings.multiKey = "AB";
        AnalysisOptions options;
        options.groupPercent = groups;
        return analysis::Analyze(scoring::AcceptedRun(run), memory, options);
    }

    // Nothing of the analysis in the program folder, no JSON.
    void ExpectNothingWritten() {
        for (const auto& entry : std::filesystem::directory_iterator(home.path()))
            EXPECT_EQ(entry.path().filename().string().rfind("试卷分析", 0), std::string::npos)
                << entry.path();
        EXPECT_FALSE(std::filesystem::exists(home / "figures.json"));
    }

    void Execute(const std::string& sqlite) { ws.connection.prepare(sqlite).step(); }

    testsupport::TempHome home;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    os::RecordingShell shell;
};

TEST_F(TableAnalysisTest, FiguresAreTheEnginesOnTheSheetsInExamNumberOrder) {
    Open(kSheets);
    Score();
    const TableAnalysisResult result = Analyze();
    ASSERT_EQ(result.outcome, core::Outcome::Done);
    EXPECT_EQ(Rounded(JsonText(result.analysis)), Rounded(JsonText(Expected(kSheets))));
    EXPECT_EQ(testsupport::ReadBytes(home / "figures.json"), JsonText(result.analysis));
}

TEST_F(TableAnalysisTest, TheTableIsWalkedInStorageOrderWithTheSheetsAtTheCutsInExamNumberOrder) {
    Open(kSheets);
    Score();
    StoredSheets stored(kSheets);
    AnalysisOptions options;
    options.groupPercent = 20;
    EXPECT_EQ(JsonText(Analyze().analysis),
              JsonText(analysis::Analyze(Description(), stored, options)))
        << "the same walks give the same bits";
}

TEST_F(TableAnalysisTest, ManySheetsTiedAtTheCutsInARandomStorageOrder) {
    // 61 sheets of few different totals, stored in a scrambled order, some
    // with equal exam numbers.
    std::vector<Written> sheets;
    const std::string letters = "ABCD ";
    std::uint32_t seed = 7;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int i = 0; i < 61; ++i) {
        Written w;
        w.id = std::to_string(202601000 + next() % 40);
        for (int k = 0; k < 5; ++k)
            w.singles += next() % 3 == 0 ? kKey[static_cast<std::size_t>(k)] : letters[next() % 5];
        w.multi = std::string(1, "0123"[next() % 4]);
        sheets.push_back(w);
    }
    Open(sheets);
    Score();
    for (double groups : {27.0, 50.0, 10.0}) {
        const ExamAnalysis a = Analyze(groups).analysis;
        EXPECT_EQ(Rounded(JsonText(a)), Rounded(JsonText(Expected(sheets, groups)))) << groups;
        StoredSheets stored(sheets);
        AnalysisOptions options;
        options.groupPercent = groups;
        EXPECT_EQ(JsonText(a), JsonText(analysis::Analyze(Description(), stored, options)))
            << groups;
    }
}

TEST_F(TableAnalysisTest, TheExamNumberDecidesTiesAtTheGroupCut) {
    Open(kSheets);
    Score();
    const ExamAnalysis a = Analyze().analysis;
    // 20 % of 6 sheets: one sheet a group. The upper group is 001 (11, before
    // 003), the lower 005 (0, after 002).
    ASSERT_EQ(a.sheets, 6);
    EXPECT_EQ(a.groupSize, 1);
    EXPECT_DOUBLE_EQ(a.full, 12);
    EXPECT_DOUBLE_EQ(a.mean, 34.0 / 6);
    EXPECT_DOUBLE_EQ(a.median, 6); // (4 + 8) / 2
    EXPECT_DOUBLE_EQ(a.max, 11);
    ASSERT_EQ(a.items.size(), 6u);
    EXPECT_EQ(a.items[0].pUpper, 1.0) << "001 answered question 1, 003 did not";
    EXPECT_EQ(a.items[1].pUpper, 0.0) << "001 missed question 2";
    EXPECT_EQ(a.items[5].pUpper, 1.0);
    const OptionFigures& blank =
        a.items[0].single->options[static_cast<std::size_t>(Category::Blank)];
    EXPECT_EQ(blank.lower, 1.0) << "005 left everything blank";
    const OptionFigures& c = a.items[0].single->options[static_cast<std::size_t>(Category::C)];
    EXPECT_EQ(c.lower, 0.0) << "002 chose C but is not in the lower group";
    EXPECT_EQ(a.items[5].multi->full, 2);    // 003 and 001
    EXPECT_EQ(a.items[5].multi->partial, 1); // 004
    EXPECT_EQ(a.items[5].multi->none, 3);    // 005, 000 (no mark), 002 (C)
}

TEST_F(TableAnalysisTest, TheReportsAreWrittenInTheProgramFolder) {
    Open(kSheets);
    Score();
    const TableAnalysisResult result = Analyze();
    EXPECT_EQ(result.report, home / "试卷分析_exam.txt");
    EXPECT_EQ(result.workbook, home / "试卷分析_exam.xlsx");
    EXPECT_EQ(text::LoadLines(result.report), ReportLines(result.analysis));
    EXPECT_EQ(testsupport::ReadBytes(result.workbook).substr(0, 2), "PK");
    ASSERT_TRUE(result.json);
    EXPECT_EQ(*result.json, home / "figures.json");
}

TEST_F(TableAnalysisTest, TheFiguresAloneWriteNothingAndTheFilesFollowWhenAsked) {
    Open(kSheets);
    Score();
    TableAnalysisSettings st;
    st.options.groupPercent = 20;
    st.json = home / "figures.json";
    st.files = false;
    const TableAnalysisResult figures = AnalyzeTable(ws, ui, st);
    ASSERT_EQ(figures.outcome, core::Outcome::Done);
    EXPECT_EQ(figures.analysis.table, "exam");
    EXPECT_TRUE(figures.report.empty());
    EXPECT_FALSE(figures.json);
    ExpectNothingWritten();

    const TableAnalysisResult written = Analyze();
    EXPECT_EQ(JsonText(figures.analysis), JsonText(written.analysis));
    const std::filesystem::path elsewhere = home / "elsewhere";
    std::filesystem::create_directory(elsewhere);
    const AnalysisFiles files =
        WriteAnalysisFiles(figures.analysis, elsewhere, text::Encoding::Gbk);
    EXPECT_EQ(files.report, elsewhere / "试卷分析_exam.txt");
    EXPECT_EQ(files.workbook, elsewhere / "试卷分析_exam.xlsx");
    EXPECT_EQ(testsupport::ReadBytes(files.report), testsupport::ReadBytes(written.report));
    EXPECT_EQ(testsupport::ReadBytes(files.workbook).substr(0, 2), "PK");
}

TEST(FlaggedCountTest, CountsTheQuestionsNotTheFlags) {
    ExamAnalysis a;
    EXPECT_EQ(FlaggedCount(a), 0u);
    a.items.resize(4);
    a.items[1].flags = {Flag::TooHard};
    a.items[3].flags = {Flag::MisKey, Flag::LowDiscrimination};
    EXPECT_EQ(FlaggedCount(a), 2u);
}

TEST_F(TableAnalysisTest, TheLastRunIsAnalysedNotAnEarlierOne) {
    Open(kSheets);
    scoring::ScoringSettings earlier = Settings();
    earlier.singleKey = "BBCDA";
    ASSERT_EQ(scoring::ScoreAll(ws, ui, shell, earlier, {}).outcome, core::Outcome::Done);
    Score();
    EXPECT_EQ(Analyze().analysis.items[0].key, "A");
}

TEST_F(TableAnalysisTest, ATableNeverScoredIsRefusedWithTheAdviceToScoreFirst) {
    Open(kSheets);
    try {
        (void)Analyze();
        FAIL() << "analysed without a run";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("请先评分"), std::string::npos) << e.what();
    }
    ExpectNothingWritten();
}

TEST_F(TableAnalysisTest, AScoreColumnGoneIsNamedAndNothingWritten) {
    Open(kSheets);
    Score();
    ws.view.close();
    Execute("ALTER TABLE \"exam\" DROP COLUMN \"f4\"");
    ws.view.open();
    try {
        (void)Analyze();
        FAIL() << "analysed without f4";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("f4"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find("f3"), std::string::npos) << e.what();
    }
    ExpectNothingWritten();
}

TEST_F(TableAnalysisTest, AContentColumnRenamedInTheSettingsIsNamed) {
    Open(kSheets);
    Score();
    ws.Fields.Content = "ANSWERS";
    try {
        (void)Analyze();
        FAIL() << "analysed without a content column";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("ANSWERS"), std::string::npos) << e.what();
    }
    ExpectNothingWritten();
}

TEST_F(TableAnalysisTest, AContentShortenedSinceTheRunIsNamedAndNothingWritten) {
    Open(kSheets);
    Score();
    Execute(
        "UPDATE \"exam\" SET \"CONTENT\" = substr(\"CONTENT\", 1, 3) WHERE \"BH\" = '202601004'");
    try {
        (void)Analyze();
        FAIL() << "analysed a sheet of three marks";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("202601004"), std::string::npos) << e.what();
    }
    ExpectNothingWritten();
}

TEST_F(TableAnalysisTest, ATableWithoutSheetsIsRefused) {
    Open({});
    Score();
    try {
        (void)Analyze();
        FAIL() << "analysed no sheets";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("没有答卷"), std::string::npos) << e.what();
    }
    ExpectNothingWritten();
}

TEST_F(TableAnalysisTest, NoOpenTableOrImpossibleOptionsStopWithAMessage) {
    EXPECT_EQ(Analyze().outcome, core::Outcome::Stopped);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("请先打开"), std::string::npos);
    Open(kSheets);
    Score();
    ui.messages.clear();
    EXPECT_EQ(Analyze(60).outcome, core::Outcome::Stopped);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("50"), std::string::npos) << ui.messages[0].text;
    ExpectNothingWritten();
}

// Sheets whose any-order walk goes backwards.
class BackwardsFirst : public testsupport::MemorySheets {
  public:
    void forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) override {
        ++anyOrderWalks;
        std::vector<Sheet> all;
        std::vector<testsupport::StoredSheet>& stored = sheets();
        for (std::size_t i = stored.size(); i-- > 0;) {
            Sheet s;
            s.examNumber = *stored[i].examNumber;
            s.record = static_cast<std::int64_t>(i) + 1;
            s.content = stored[i].content;
            s.points = stored[i].points;
            visit(s);
        }
    }
    int anyOrderWalks = 0;
};

TEST_F(TableAnalysisTest, TheFirstWalkMayTakeTheSheetsInAnyOrder) {
    std::vector<Written> sorted = kSheets;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Written& a, const Written& b) { return a.id < b.id; });
    BackwardsFirst sheets;
    for (const Written& w : sorted)
        sheets.add({w.id, Content(w), Points(w)});
    scoring::ExamRun run = Description();
    AnalysisOptions options;
    options.groupPercent = 20;
    const ExamAnalysis a = analysis::Analyze(scoring::AcceptedRun(run), sheets, options);
    EXPECT_EQ(sheets.anyOrderWalks, 1);
    EXPECT_EQ(sheets.passes(), 1) << "the second walk in exam-number order";
    EXPECT_EQ(JsonText(a), JsonText(Expected(kSheets)));
}

TEST(StoredRun, TypedPointsAreConvertedAsTheRunConvertsThem) {
    scoring::ExamRun run;
    run.table = "t";
    run.settings.counts = {3, 2, 0, 0};
    run.settings.points = {"1.5", " 2 ", "0", "x"};
    run.settings.singleKey = "ABCDE";
    run.settings.multiCount = 0;
    run.settings.full = "not used";
    run.fullMatch = true;
    const scoring::ExamRun d = scoring::AcceptedRun(run);
    ASSERT_EQ(d.questions.size(), 5u);
    EXPECT_EQ(d.singleCount, 5);
    EXPECT_EQ(d.at(1).points, 1.5f);
    EXPECT_EQ(d.at(4).points, 2.0f);
    EXPECT_EQ(d.multiCount, 0) << "a segment without questions needs no points; no "
                                  "multiple-choice key: the full points are not read";
    EXPECT_TRUE(d.fullMatch);
    run.settings.multiCount = 1;
    run.settings.multiKey = "AB";
    EXPECT_THROW((void)scoring::AcceptedRun(run), Error);
    run.settings.full = "2.5";
    EXPECT_EQ(scoring::AcceptedRun(run).at(6).points, 2.5f);
}

} // namespace
