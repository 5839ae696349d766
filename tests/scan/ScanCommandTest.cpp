// The scan command over readings made here: the answer table's bytes, the
// log, the CSV and the scan database say what the pages said, every page
// once; the stack's own decisions (duplicates, unused exam-number columns,
// the pages of one sheet); the refusals before any page; and a table that
// opens and scores as a reader's does.
#include "scan/ScanCommand.h"
#include "core/Workspace.h"
#include "platform/db/Connection.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scan/Painting.h"
#include "scan/ScanDatabase.h"
#include "scan/SheetDesign.h"
#include "tests/support/CliRun.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"
#include "tools/render-sheet/SheetPicture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <csignal>
#include <cstdlib>
#include <map>
#include <sys/wait.h>

namespace {

using scan::PageReading;
using scan::PageStatus;

// What a test page says: its exam number (' ' an empty column, '?' two
// marks), its answers per question ("" none, "AC" two), its doubts.
struct Sheet {
    Sheet(std::string f, int p, std::string n, std::vector<std::string> a = {},
          std::map<int, scan::Doubt> d = {}, PageStatus st = PageStatus::Ok,
          scan::Failure fl = scan::Failure::None)
        : file(std::move(f)), page(p), number(std::move(n)), answers(std::move(a)),
          doubts(std::move(d)), status(st), failure(fl) {}
    std::string file;
    int page = 0;
    std::string number;
    std::vector<std::string> answers;
    std::map<int, scan::Doubt> doubts; // question -> doubt
    PageStatus status = PageStatus::Ok;
    scan::Failure failure = scan::Failure::None;
    int layoutPage = 1;
};

PageReading ReadingOf(const scan::Layout& layout, const Sheet& s) {
    PageReading r;
    r.source = {s.file, s.page};
    r.status = s.status;
    r.failure = s.failure;
    if (s.status == PageStatus::Failed) {
        r.problem = scan::FailureText(s.failure);
        return r;
    }
    if (s.status == PageStatus::Blank)
        return r;
    const scan::Page& page = layout.pages[static_cast<std::size_t>(s.layoutPage - 1)];
    r.layoutId = layout.id;
    r.layoutRevision = layout.revision;
    r.layoutPage = s.layoutPage;
    r.threshold = 0.45;
    for (std::size_t c = 0; c < page.examNumber.size(); ++c) {
        scan::ItemReading d;
        d.label = "id" + std::to_string(c + 1);
        const char want = c < s.number.size() ? s.number[c] : ' ';
        for (const auto& b : page.examNumber[c].bubbles) {
            const bool marked = want == '?' ? b.value == "1" || b.value == "2" : b.value[0] == want;
            d.bubbles.push_back({b.value, marked ? 0.9 : 0.05, marked});
        }
        d.reading = want == ' ' || want == '?' ? "?" : std::string(1, want);
        if (want == ' ')
            d.doubts.push_back(scan::Doubt::NoDigit);
        if (want == '?')
            d.doubts.push_back(scan::Doubt::SeveralDigits);
        r.digits.push_back(std::move(d));
    }
    for (const auto& q : page.questions) {
        scan::ItemReading item;
        item.label = "q" + std::to_string(q.number);
        item.question = q.number;
        const auto at = static_cast<std::size_t>(q.number - 1);
        const std::string answer = at < s.answers.size() ? s.answers[at] : "";
        for (const auto& b : q.bubbles) {
            const bool marked = answer.find(b.value) != std::string::npos;
            item.bubbles.push_back({b.value, marked ? 0.85 : 0.04, marked});
            if (marked)
                item.reading += b.value;
        }
        if (auto d = s.doubts.find(q.number); d != s.doubts.end())
            item.doubts.push_back(d->second);
        r.questions.push_back(std::move(item));
    }
    if (r.toReview() && r.status == PageStatus::Ok)
        r.status = PageStatus::Review;
    return r;
}

class ScanCommandTest : public ::testing::Test {
  protected:
    ScanCommandTest() {
        ws.startUp();
        settings.out = home / "期中.dbf";
        settings.jobs = 3;
        scan::SheetSettings design;
        design.questions = 5;
        design.idDigits = 4;
        design.id = "exam";
        layout = scan::DesignSheet(design);
    }

    // Scans the sheets; counts the pages the feed gave.
    scan::ScanResult Scan(const std::vector<Sheet>& sheets, const scan::Layout* with = nullptr) {
        const scan::Layout& l = with ? *with : layout;
        scan::PageFeed feed;
        auto next = std::make_shared<std::size_t>(0);
        feed.files = sheets.size();
        feed.next = [this, next, sheets]() -> std::optional<scan::PageData> {
            if (*next >= sheets.size())
                return std::nullopt;
            ++given;
            scan::PageData d;
            d.source = {sheets[*next].file, sheets[*next].page};
            d.encoded.push_back(static_cast<std::uint8_t>((*next)++));
            return d;
        };
        feed.read = [&l, sheets](const scan::PageData& d) {
            return ReadingOf(l, sheets[d.encoded.at(0)]);
        };
        return scan::ScanPages(ws, settings, {l}, std::move(feed), ui);
    }

    // The records of the written table as text, one line each.
    std::string Records() const {
        const std::string bytes = testsupport::ReadBytes(settings.out);
        const auto headerLength =
            static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
        const auto recordLength =
            static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
        std::string lines;
        for (std::size_t at = headerLength; at + recordLength <= bytes.size(); at += recordLength)
            lines += text::TrimRight(text::FromGbk(bytes.substr(at, recordLength))) + "\n";
        return lines;
    }

    testsupport::TempHome home;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    scan::ScanSettings settings;
    scan::Layout layout;
    int given = 0;
};

TEST_F(ScanCommandTest, TheTableLogCsvAndDatabaseHoldEveryPageOnce) {
    settings.subject = "数";
    settings.csv = home / "pages.csv";
    const auto r = Scan({
        {"a,1.png", 0, "1201", {"A", "B", "AC", "", "D"}},
        {"b.pdf", 1, "1202", {"B", "B", "C", "D", "A"}, {{2, scan::Doubt::Erasure}}},
        {"b.pdf", 2, "", {}, {}, PageStatus::Blank},
        {"c.jpg", 0, "", {}, {}, PageStatus::Failed, scan::Failure::NotLocated},
    });
    ASSERT_EQ(r.outcome, core::Outcome::Done);
    EXPECT_EQ(r.pages, 4u);
    EXPECT_EQ(r.failed, 1u);
    EXPECT_EQ(r.blank, 1u);
    EXPECT_EQ(r.problems, std::vector<std::string>{"c.jpg: failed: 定位失败"});

    const std::string bytes = testsupport::ReadBytes(settings.out);
    ASSERT_GT(bytes.size(), 32u + 6 * 32 + 1);
    EXPECT_EQ(bytes[0], 0x03);
    EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x4D);
    EXPECT_EQ(bytes[4], 2) << "two sheets";
    const std::string names[] = {ws.Fields.ID,      ws.Fields.Content, ws.Fields.Flag,
                                 ws.Fields.Subject, ws.Fields.Score,   "SOURCE"};
    const char types[] = {'C', 'C', 'C', 'C', 'N', 'C'};
    const int lengths[] = {4, 5, 1, 2, 5, 254};
    for (std::size_t f = 0; f < 6; ++f) {
        const std::string d = bytes.substr(32 + 32 * f, 32);
        EXPECT_EQ(d.substr(0, d.find('\0')), names[f]);
        EXPECT_EQ(d[11], types[f]);
        EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(d[16])), lengths[f]);
        EXPECT_EQ(d[17], f == 4 ? 1 : 0);
    }
    EXPECT_EQ(bytes[32 + 6 * 32], 0x0D);
    EXPECT_EQ(bytes.back(), 0x1A);
    // ID, Content (A B AC - D), Flag, Subject, Score blank, SOURCE.
    EXPECT_EQ(Records(), " 1201"
                         "12508"
                         " "
                         "数"
                         "     "
                         "a,1.png\n"
                         " 1202"
                         "22481"
                         "1"
                         "数"
                         "     "
                         "b.pdf#1\n");

    EXPECT_EQ(testsupport::ReadBytes(settings.csv), "file,page,status,review,id,q1,q2,q3,q4,q5\r\n"
                                                    "\"a,1.png\",1,ok,,1201,A,B,AC,,D\r\n"
                                                    "b.pdf,1,review,q2,1202,B,B,C,D,A\r\n"
                                                    "b.pdf,2,blank,,,,,,,\r\n"
                                                    "c.jpg,1,failed: 定位失败,,,,,,,\r\n");

    const auto log = text::LoadLines(home / "扫描记录_期中.txt");
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[3], "a,1.png\tok\t1201");
    EXPECT_EQ(log[4],
              "b.pdf#1\treview\t1202\tq2 " + std::string(scan::DoubtText(scan::Doubt::Erasure)));
    EXPECT_EQ(log[5], "b.pdf#2\tblank\t");
    EXPECT_EQ(log[6], "c.jpg\tfailed: 定位失败\t\t定位失败");

    db::Connection c;
    c.open(home / "期中.scan.db");
    auto info = c.prepare("SELECT name, dbf, length(sha256) FROM scan_table");
    ASSERT_TRUE(info.step());
    EXPECT_EQ(std::get<std::string>(info.column(0)), "期中");
    EXPECT_EQ(info.columnInt(2), 64);
    auto pages = c.prepare("SELECT count(*), sum(status = 'review'), sum(record IS NOT NULL)"
                           " FROM scan_pages");
    ASSERT_TRUE(pages.step());
    EXPECT_EQ(pages.columnInt(0), 4);
    EXPECT_EQ(pages.columnInt(1), 1);
    EXPECT_EQ(pages.columnInt(2), 2);
    auto bubbles = c.prepare("SELECT darkness, marked FROM scan_bubbles"
                             " WHERE page = 1 AND item = 'q1' ORDER BY bubble");
    std::string seen;
    while (bubbles.step())
        seen += std::to_string(bubbles.columnInt(1));
    EXPECT_EQ(seen, "0100");
    auto decisions = c.prepare("SELECT count(*) FROM scan_decisions");
    ASSERT_TRUE(decisions.step());
    EXPECT_EQ(decisions.columnInt(0), 0);
}

// Duplicates kept once, one number on two different sheets kept twice to be
// reviewed, and a digit column no sheet used dropped rather than doubted.
TEST_F(ScanCommandTest, TheStackDecidesDuplicatesAndUnusedColumns) {
    const auto r = Scan({
        {"1.png", 0, "12 5", {"A", "B", "C", "D", "A"}},
        {"2.png", 0, "12 5", {"A", "B", "C", "D", "A"}},
        {"3.png", 0, "12 7", {"A", "A", "A", "A", "A"}},
        {"4.png", 0, "12 7", {"B", "B", "B", "B", "B"}},
        {"5.png", 0, "1? 8", {"C", "", "", "", ""}},
    });
    EXPECT_EQ(r.duplicates, 1u);
    EXPECT_EQ(r.failed, 0u);
    EXPECT_EQ(Records(), " 125"
                         "12481"
                         " "
                         "       "
                         "1.png\n"
                         " 127"
                         "11111"
                         "1"
                         "       "
                         "3.png\n"
                         " 127"
                         "22222"
                         "1"
                         "       "
                         "4.png\n"
                         " 1?8"
                         "40000"
                         "1"
                         "       "
                         "5.png\n");
    const auto log = text::LoadLines(home / "扫描记录_期中.txt");
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[3], "1.png\tok\t125");
    EXPECT_EQ(log[4], "2.png\tduplicate\t125");
    EXPECT_EQ(log[5], "3.png\treview\t127\tid 考号重复");
    EXPECT_EQ(log[7].substr(0, 20), "5.png\treview\t1?8\tid2");
}

// A sheet of two pages: its pages joined by exam number whatever order
// they come in; a sheet missing a page kept with that page's questions blank.
TEST_F(ScanCommandTest, ThePagesOfOneSheetMakeOneRecord) {
    scan::SheetSettings design;
    design.questions = 20;
    design.idDigits = 3;
    design.pages = 2;
    design.id = "two";
    const scan::Layout two = scan::DesignSheet(design);
    ASSERT_EQ(two.pages.size(), 2u);
    const int first = static_cast<int>(two.pages[0].questions.size());
    std::vector<std::string> a(20, "A"), b(20, "B");
    Sheet a1{"s.pdf", 1, "101", a}, b1{"s.pdf", 2, "102", b}, b2{"s.pdf", 3, "102", b},
        a2{"s.pdf", 4, "101", a}, c1{"s.pdf", 5, "103", a};
    a2.layoutPage = b2.layoutPage = 2;
    const auto r = Scan({a1, b1, b2, a2, c1}, &two);
    EXPECT_EQ(r.records, 3u);
    const std::string ones(20, '1'), twos(20, '2');
    const std::string missing = std::string(static_cast<std::size_t>(first), '1') +
                                std::string(static_cast<std::size_t>(20 - first), '0');
    const std::string blank(8, ' '); // Flag, Subject and Score
    EXPECT_EQ(Records(), " 101" + ones + blank + "s.pdf#1\n" + " 102" + twos + blank + "s.pdf#2\n" +
                             " 103" + missing + "1" + blank.substr(1) + "s.pdf#5\n");
    const auto log = text::LoadLines(home / "扫描记录_期中.txt");
    EXPECT_EQ(log.back(), "s.pdf#5\treview\t103\tpage2 缺页");
}

// A field name a dBase table cannot hold is refused before any page is read.
class FieldNameTest : public ScanCommandTest,
                      public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(FieldNameTest, IsRefusedBeforeAnyPage) {
    ws.Fields.*(GetParam().first[0] == 'I' ? &core::FieldSettings::ID
                                           : &core::FieldSettings::Content) = GetParam().second;
    const auto r = Scan({{"1.png", 0, "1234", {"A"}}});
    EXPECT_EQ(r.outcome, core::Outcome::Stopped);
    EXPECT_EQ(given, 0);
    EXPECT_FALSE(std::filesystem::exists(settings.out));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(GetParam().second), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Names, FieldNameTest,
                         ::testing::Values(std::pair{"ID", "STUDENTNUMB"}, std::pair{"C", "内容"},
                                           std::pair{"ID", "A B"}));

// An earlier scan's review decisions are replaced only after Yes.
TEST_F(ScanCommandTest, AScanDatabaseWithDecisionsIsReplacedOnlyAfterYes) {
    ASSERT_EQ(Scan({{"1.png", 0, "1234", {"A"}}}).outcome, core::Outcome::Done);
    const auto scanDb = home / "期中.scan.db";
    {
        db::Connection c;
        c.open(scanDb);
        c.prepare("INSERT INTO scan_decisions(page, item, old_reading, new_reading, decided)"
                  " VALUES(0, 'q1', 'A', 'B', 'now')")
            .step();
    }
    const std::string before = testsupport::ReadBytes(scanDb);
    auto r = Scan({{"1.png", 0, "4321", {"B"}}});
    EXPECT_EQ(r.outcome, core::Outcome::Stopped);
    EXPECT_EQ(given, 1) << "no page read after No";
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(testsupport::ReadBytes(scanDb), before);
    EXPECT_NE(Records().find("1234"), std::string::npos);

    ui.answers.push_back(true);
    r = Scan({{"1.png", 0, "4321", {"B"}}});
    EXPECT_EQ(r.outcome, core::Outcome::Done);
    EXPECT_EQ(scan::ReviewDecisions(scanDb), 0);
    EXPECT_NE(Records().find("4321"), std::string::npos);
}

// A scan killed before the table is renamed into place leaves no table.
TEST_F(ScanCommandTest, AKilledScanLeavesNoTable) {
    const int status = testsupport::InChild([&] {
        ::setenv("QUILLORY_KILL_AT", "scan-before-table", 1);
        (void)Scan({{"1.png", 0, "1234", {"A"}}});
    });
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_FALSE(std::filesystem::exists(settings.out));
    EXPECT_FALSE(std::filesystem::exists(home / "期中.scan.db"));
}

// The written table opens and scores with the commands a reader's table
// goes through.
TEST_F(ScanCommandTest, TheTableOpensAndScoresAsAReadersTable) {
    std::vector<Sheet> sheets;
    for (int i = 0; i < 30; ++i)
        sheets.push_back({std::to_string(i) + ".png",
                          0,
                          std::to_string(1000 + i),
                          {i % 2 ? "A" : "B", "B", "C", i % 3 ? "D" : "", "A"}});
    ASSERT_EQ(Scan(sheets).failed, 0u);
    const std::string h = (home / "cli").string(), t = settings.out.string();
    auto r = testsupport::RunCli({"--home", h, "open", t});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "记录数:30  题目数:5\n");
    r = testsupport::RunCli({"--home", h, "score", t, "--segment", "5:2", "--key", "ABCDA"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = testsupport::RunCli({"--home", h, "sql", t, "--statement", "select sum(SCORE) from 期中"});
    ASSERT_EQ(r.status, 0) << r.err;
    // 15 sheets answer A (2 points), 20 answer D (2 points), and B C A always (6 points).
    EXPECT_NE(r.out.find("\n250\n"), std::string::npos) << r.out;
}

// quillory-cli scan over pictures drawn from the layout (a JPEG and a PNG):
// the sheets read, the back of a duplex page blank and not a failure, and
// the table opened and scored.
TEST_F(ScanCommandTest, TheCommandReadsPicturesIntoATableThatScores) {
    scan::EnsurePainting();
    const auto layoutFile = home / "exam.layout.json";
    text::WriteWhole(layoutFile, scan::LayoutJson(layout));
    const auto pictures = home / "scans";
    std::filesystem::create_directories(pictures);
    const std::vector<std::pair<std::string, std::string>> sheets = {{"1203", "ABCDA"},
                                                                     {"1207", "BBCDA"}};
    std::mt19937 random(7);
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        std::vector<tools::Fill> fills;
        for (int d = 0; d < 4; ++d)
            fills.push_back({0, d + 1, sheets[i].first.substr(static_cast<std::size_t>(d), 1),
                             tools::FillKind::Solid});
        for (int q = 0; q < 5; ++q)
            fills.push_back({q + 1, 0, sheets[i].second.substr(static_cast<std::size_t>(q), 1),
                             tools::FillKind::Solid});
        // One sheet of each kind of picture a scanner writes.
        const auto file = pictures / (std::to_string(2 * i + 1) + (i == 0 ? ".jpg" : ".png"));
        ASSERT_TRUE(tools::FilledPage(layout, 0, 200, fills, random)
                        .save(QString::fromStdString(file.string())));
        QImage back(1654, 2339, QImage::Format_Grayscale8);
        back.fill(250);
        ASSERT_TRUE(back.save(
            QString::fromStdString((pictures / (std::to_string(2 * i + 2) + ".jpg")).string())));
    }
    const std::string h = (home / "cli").string(), t = settings.out.string();
    auto r = testsupport::RunCli({"--home", h, "scan", pictures.string(), "--layout",
                                  layoutFile.string(), "--out", t, "--jobs", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("wrote " + t + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("页数:4  记录数:2  待复核:0  空白:2  重复:0  失败:0"), std::string::npos)
        << r.out;
    EXPECT_EQ(Records(), " 1203"
                         "12481"
                         "        " +
                             (pictures / "1.jpg").string() + "\n" +
                             " 1207"
                             "22481"
                             "        " +
                             (pictures / "3.png").string() + "\n");
    r = testsupport::RunCli({"--home", h, "score", t, "--segment", "5:2", "--key", "ABCDA"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = testsupport::RunCli({"--home", h, "sql", t, "--statement", "select SCORE as S from 期中"});
    EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "S\n10\n8\n");
}

} // namespace
