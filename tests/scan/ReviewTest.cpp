// The review of a scan over readings made here and decided by the reader's
// own rules: the items worst first with the words of the log, decisions
// that reach the table and survive a reopening, an undo that gives the
// table back, a re-decision from the darkness kept (no image exists), a
// .dbf changed by hand, the refused scan databases, and the command line.
#include "scan/Review.h"
#include "core/Workspace.h"
#include "platform/db/Connection.h"
#include "platform/db/Statement.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "roster/TableLists.h"
#include "scan/Painting.h"
#include "scan/Reader.h"
#include "scan/ScanCommand.h"
#include "scan/ScanDatabase.h"
#include "scan/SheetDesign.h"
#include "tests/support/CliRun.h"
#include "tests/support/OtherProgram.h"
#include "tests/support/ScriptedUi.h"
#include "tests/support/TempHome.h"
#include "tools/render-sheet/SheetPicture.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

using scan::PageReading;

// A page: its exam number (' ' an empty column), its answers, and the
// darkness of chosen questions' bubbles (A B C D); ordinary fills 0.9,
// paper 0.04.
struct Sheet {
    std::string file;
    int page = 0;
    std::string number;
    std::string answers; // a letter per question, '-' for none
    std::map<int, std::vector<double>> darkness = {};
    bool located = true;
};

constexpr double kThreshold = 0.2;

PageReading ReadingOf(const scan::Layout& layout, const Sheet& s) {
    PageReading r;
    r.source = {s.file, s.page};
    if (!s.located) {
        r.status = scan::PageStatus::Failed;
        r.failure = scan::Failure::NotLocated;
        r.problem = "只找到 2 个定位标记";
        return r;
    }
    const scan::Page& page = layout.pages[0];
    r.status = scan::PageStatus::Ok;
    r.layoutId = layout.id;
    r.layoutRevision = layout.revision;
    r.layoutPage = 1;
    r.threshold = kThreshold;
    for (std::size_t c = 0; c < page.examNumber.size(); ++c) {
        scan::ItemReading d;
        d.label = "id" + std::to_string(c + 1);
        for (const auto& b : page.examNumber[c].bubbles)
            d.bubbles.push_back({b.value, b.value[0] == s.number[c] ? 0.9 : 0.04, false});
        r.digits.push_back(std::move(d));
    }
    for (const auto& q : page.questions) {
        scan::ItemReading item;
        item.label = "q" + std::to_string(q.number);
        item.question = q.number;
        const auto custom = s.darkness.find(q.number);
        for (std::size_t b = 0; b < q.bubbles.size(); ++b) {
            const bool filled =
                q.bubbles[b].value[0] == s.answers[static_cast<std::size_t>(q.number - 1)];
            const double d = custom != s.darkness.end() ? custom->second[b] : filled ? 0.9 : 0.04;
            item.bubbles.push_back({q.bubbles[b].value, d, false});
        }
        r.questions.push_back(std::move(item));
    }
    scan::Decide(r);
    return r;
}

class ReviewTest : public ::testing::Test {
  protected:
    ReviewTest() {
        ws.startUp();
        settings.out = table;
        settings.subject = "数";
        scan::SheetSettings design;
        design.questions = 5;
        design.idDigits = 4;
        design.id = "exam";
        layout = scan::DesignSheet(design);
        const std::vector<Sheet> sheets = {
            {"a.png", 0, "1201", "ABCDA", {{5, {0.9, 0.13, 0.04, 0.04}}}},
            {"b.png", 0, "1202", "ABCDA", {{3, {0.04, 0.04, 0.21, 0.04}}}},
            {"c.pdf", 1, "12 4", "ABCDA", {{1, {0.9, 0.3, 0.04, 0.04}}}},
            {"d.png", 0, "", "", {}, false},
            {"e.png", 0, "1253", "BBBBB"},
        };
        scan::PageFeed feed;
        auto next = std::make_shared<std::size_t>(0);
        feed.files = sheets.size();
        feed.next = [next, sheets]() -> std::optional<scan::PageData> {
            if (*next >= sheets.size())
                return std::nullopt;
            scan::PageData d;
            d.source = {sheets[*next].file, sheets[*next].page};
            d.encoded.push_back(static_cast<std::uint8_t>((*next)++));
            return d;
        };
        feed.read = [this, sheets](const scan::PageData& d) {
            return ReadingOf(layout, sheets[d.encoded.at(0)]);
        };
        const auto r = scan::ScanPages(ws, settings, {layout}, std::move(feed), ui);
        EXPECT_EQ(r.outcome, core::Outcome::Done);
        EXPECT_EQ(r.records, 4u);
    }

    // The records of the table, one line each: ID, Content, Flag.
    std::string Records() const {
        const std::string bytes = testsupport::ReadBytes(table);
        const auto header =
            static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
        const auto length =
            static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
        std::string lines;
        for (std::size_t at = header; at + length <= bytes.size(); at += length)
            lines += text::FromGbk(bytes.substr(at + 1, 4 + 5 + 1)) + "\n";
        return lines;
    }

    std::vector<std::string> Listed(const scan::Review& review) const {
        std::vector<std::string> lines;
        for (const auto& item : review.items())
            lines.push_back(review.pages()[item.page].source + " " + item.item + " " +
                            scan::ReasonText(item.reason) + " " + review.reading(item));
        return lines;
    }

    testsupport::TempHome home;
    core::Workspace ws{home.path()};
    testsupport::ScriptedUi ui;
    scan::ScanSettings settings;
    scan::Layout layout;
    std::filesystem::path table = home / "期中.dbf";
};

// The items worst first, with the words the log and the command line use;
// each decision reaches the table, the log and a later session.
TEST_F(ReviewTest, DecisionsReachTheTableTheLogAndALaterSession) {
    ws.connect();
    roster::Roster list;
    for (const char* id : {"1201", "1202", "1204", "1235"})
        list.add(id, "1", "");
    roster::WriteIds(ws.connection, list, false, ui);

    EXPECT_EQ(Records(), "120112481 \n"
                         "1202124811\n"
                         "12?4324811\n"
                         "125322222 \n")
        << "as scanned: c's q1 read AB (erasure), b's q3 C (light), a's q5 A";
    {
        scan::Review review(ws, table);
        EXPECT_EQ(Listed(review), (std::vector<std::string>{
                                      "d.png page 定位失败 ",
                                      "c.pdf#1 id 考号不可读 12?4",
                                      "e.png id 考号不在名单 1253",
                                      "b.png q3 浅色标记 C",
                                      "c.pdf#1 q1 擦除 AB",
                                  }));
        const auto& items = review.items();
        EXPECT_EQ(review.darknessText(items[1]), "3:0=0.04");
        EXPECT_EQ(review.darknessText(items[4]), "A=0.90 B=0.30 C=0.04 D=0.04");
        EXPECT_EQ(review.suggestions(items[2]), std::vector<std::string>{"1235"});
        EXPECT_FALSE(review.picture(items[0]).problem.empty()) << "the image is gone";

        review.decide(items[1].page, "id", "1204");
        review.decide(items[4].page, "q1", "A");
        review.decide(items[3].page, "q3", "");
        review.decide(items[2].page, "id", "1235");
        EXPECT_EQ(review.pending(), 1u);
        ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    }
    EXPECT_EQ(Records(), "120112481 \n"
                         "120212081 \n"
                         "120412481 \n"
                         "123522222 \n")
        << "Flag cleared where nothing is left; the unread page keeps nothing to flag";
    const auto log = text::LoadLines(home / scan::ReviewLogName);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].substr(19), "\t复核\t期中\tc.pdf#1\tid\t12?4\t1204");
    EXPECT_EQ(log[2].substr(19), "\t复核\t期中\tb.png\tq3\tC\t");
    EXPECT_NE(testsupport::ReadBytes(home / scan::ReviewLogName).find("\r\n"), std::string::npos);

    scan::Review again(ws, table);
    EXPECT_EQ(again.pending(), 1u);
    EXPECT_EQ(again.handDecision(again.items()[1].page, "id"), "1204");
    EXPECT_FALSE(again.undo()) << "undo reaches the session's own decisions only";
}

// Undoing every decision and writing gives the table as scanned.
TEST_F(ReviewTest, UndoGivesTheTableBack) {
    const std::string scanned = Records();
    scan::Review review(ws, table);
    for (const auto& item : review.items())
        if (item.item == "q1" || item.item == "q3")
            review.decide(item.page, item.item, "D");
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_NE(Records(), scanned);
    EXPECT_TRUE(review.undo());
    EXPECT_TRUE(review.undo());
    EXPECT_FALSE(review.undo());
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(Records(), scanned);
    const auto log = text::LoadLines(home / scan::ReviewLogName);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].substr(19), "\t撤销\t期中\tc.pdf#1\tq1\tD\tAB");
}

// The sensitivity decides again from the darkness kept (none of the
// pictures exists); a decision by hand stays; 5 changes nothing.
TEST_F(ReviewTest, SensitivityDecidesAgainFromTheDarknessKept) {
    for (const auto& file : {"a.png", "b.png", "c.pdf"})
        ASSERT_FALSE(std::filesystem::exists(file));
    scan::Review review(ws, table);
    EXPECT_EQ(review.preview(5).answersChanged, 0);
    EXPECT_EQ(review.preview(5).itemsAfter, review.preview(5).itemsBefore);
    review.decide(1, "q3", "B");
    const scan::SensitivityPreview high = review.preview(8);
    EXPECT_EQ(high.answersChanged, 1) << "a's q5 gains its B at 0.13; b's q3 is decided by hand";
    const scan::SensitivityPreview low = review.preview(1);
    EXPECT_EQ(low.answersChanged, 1) << "c's q1 loses its B at 0.30";
    EXPECT_LT(low.itemsAfter, low.itemsBefore);
    review.applySensitivity(8);
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    const std::string records = Records();
    EXPECT_EQ(records.substr(0, 11), "1201124831\n") << "AB, near the lower threshold";
    EXPECT_EQ(records.substr(11, 10), "120212281 ") << "the hand decision B kept";
    scan::Review again(ws, table);
    EXPECT_EQ(again.sensitivity(), 8);
    EXPECT_EQ(again.preview(8).answersChanged, 0);
}

// An exam number decided by hand is compared with the stack's others as the
// scan compares them: another sheet's number gives 考号重复 to both, the
// same sheet's number and marks a page kept once; undone, each goes back.
TEST_F(ReviewTest, AnExamNumberDecidedByHandMeetsTheOtherSheets) {
    scan::Review review(ws, table);
    const auto state = [&review] {
        std::vector<std::string> pages;
        for (const auto& p : review.pages())
            pages.push_back(p.status + "|" + p.reasons + "|" + p.examNumber + "|" +
                            std::to_string(p.record));
        return pages;
    };
    const std::vector<std::string> scanned = state();
    review.applySensitivity(5);
    EXPECT_EQ(state(), scanned) << "the stack decided again over the same readings";

    const std::size_t c = 2, e = 4;
    review.decide(c, "id", "1253");
    EXPECT_EQ(review.pages()[e].status, "review");
    EXPECT_EQ(review.pages()[e].reasons, "id 考号重复");
    EXPECT_NE(review.pages()[c].reasons.find("id 考号重复"), std::string::npos);
    EXPECT_EQ(review.pages()[c].examNumber, "12?4") << "the reading stays as scanned";
    EXPECT_TRUE(review.find("e.png", "id"));
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(Records(), "120112481 \n"
                         "1202124811\n"
                         "1253324811\n"
                         "1253222221\n");
    EXPECT_TRUE(review.undo());
    EXPECT_EQ(state(), scanned);
    EXPECT_FALSE(review.find("e.png", "id"));

    review.decide(c, "q1", "A");
    review.decide(c, "id", "1201");
    EXPECT_EQ(review.pages()[c].status, "duplicate") << "a's number and answers";
    EXPECT_EQ(review.pages()[c].record, 0);
    EXPECT_EQ(review.pages()[e].record, 3);
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(Records(), "120112481 \n"
                         "1202124811\n"
                         "125322222 \n");
    EXPECT_TRUE(review.undo());
    EXPECT_EQ(review.pages()[c].status, "review");
    EXPECT_EQ(review.pages()[c].record, 3);
    scan::Review again(ws, table);
    EXPECT_EQ(again.pages()[c].record, 3) << "stored";
}

// A table changed by hand since it was written is rewritten only after Yes.
TEST_F(ReviewTest, ATableChangedByHandIsAskedAbout) {
    std::string bytes = testsupport::ReadBytes(table);
    bytes[bytes.size() - 2] = 'X';
    text::WriteWhole(table, bytes);
    scan::Review review(ws, table);
    review.decide(0, "q1", "B");
    EXPECT_EQ(review.writeTable(ui), core::Outcome::Stopped);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_NE(ui.questions[0].text.find(table.string()), std::string::npos);
    EXPECT_EQ(testsupport::ReadBytes(table), bytes);
    ui.answers.push_back(true);
    EXPECT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(Records().substr(0, 10), "120122481 ");
    EXPECT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(ui.questions.size(), 2u) << "the table the review wrote is not asked about";
}

// Another table's scan database, a newer one and none at all are refused,
// naming the file.
TEST_F(ReviewTest, ScanDatabasesThatDoNotFitAreRefused) {
    const auto other = home / "期末.dbf";
    std::filesystem::copy_file(table, other);
    std::filesystem::copy_file(home / "期中.scan.db", home / "期末.scan.db");
    const auto refusal = [&](const std::filesystem::path& dbf) {
        try {
            scan::Review review(ws, dbf);
        } catch (const scan::ReviewError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(refusal(other).find("期末.scan.db"), std::string::npos);
    {
        db::Connection c;
        c.open(home / "期中.scan.db");
        c.prepare("UPDATE scan_table SET format = 99").step();
    }
    EXPECT_NE(refusal(table).find("期中.scan.db"), std::string::npos);
    EXPECT_NE(refusal(table).find("99"), std::string::npos);
    EXPECT_NE(refusal(home / "无.dbf").find("无.scan.db"), std::string::npos);
}

// The command line: a bad --set changes nothing; then sensitivity, sets,
// write and list in that order.
TEST_F(ReviewTest, TheCommandLineSetsWritesAndLists) {
    const std::string h = home.path().string(), t = table.string();
    const std::string scanned = testsupport::ReadBytes(table);
    for (const char* bad :
         {"c.pdf#1:q1=E", "x.png:q1=A", "c.pdf#1:q9=A", "c.pdf#1:id=12x4", "d.png:q1=A"}) {
        auto r = testsupport::RunCli(
            {"--home", h, "scan", "review", t, "--set", "b.png:q3=", "--set", bad, "--write"});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(testsupport::ReadBytes(table), scanned) << bad;
        EXPECT_FALSE(std::filesystem::exists(home / scan::ReviewLogName)) << bad;
    }
    auto r =
        testsupport::RunCli({"--home", h, "scan", "review", t, "--list", "--set", "c.pdf#1:q1=A",
                             "--set", "c.pdf#1:id=1204", "--sensitivity", "5", "--write"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "灵敏度 5: 0 个答案改变，待复核 4 项 -> 4 项\n"
                     "wrote " +
                         t +
                         "\n"
                         "d.png\tpage\t定位失败\t\t\n"
                         "b.png\tq3\t浅色标记\tC\tA=0.04 B=0.04 C=0.21 D=0.04\n");
    EXPECT_EQ(Records().substr(22, 10), "120412481 ");
    EXPECT_EQ(text::LoadLines(home / scan::ReviewLogName).size(), 2u);
}

// A scan of drawn sheets keeps the pictures of the items to review, framed
// bubble by bubble, which the review shows after the images are gone; the
// whole page comes from the image while it is there.
TEST_F(ReviewTest, TheScanKeepsPicturesOfItemsToReview) {
    scan::EnsurePainting();
    const auto layoutFile = home / "exam.layout.json";
    text::WriteWhole(layoutFile, scan::LayoutJson(layout));
    const auto pictures = home / "scans";
    std::filesystem::create_directories(pictures);
    std::mt19937 random(3);
    for (int sheet = 0; sheet < 2; ++sheet) {
        std::vector<tools::Fill> fills;
        for (int d = 0; d < 4; ++d)
            if (sheet == 0 || d != 2)
                fills.push_back({0, d + 1, std::to_string(d + 3), tools::FillKind::Solid});
        for (int q = 1; q <= 5; ++q)
            fills.push_back({q, 0, "C", tools::FillKind::Solid});
        ASSERT_TRUE(tools::FilledPage(layout, 0, 200, fills, random)
                        .save(QString::fromStdString(
                            (pictures / (std::to_string(sheet + 1) + ".png")).string())));
    }
    scan::ScanSettings s;
    s.inputs = {pictures};
    s.layout = layoutFile;
    s.out = home / "图.dbf";
    s.jobs = 2;
    ASSERT_EQ(scan::RunScan(ws, s, ui).review, 1u);

    scan::Review review(ws, s.out);
    const auto id = std::find_if(review.items().begin(), review.items().end(),
                                 [](const scan::ReviewItem& i) { return i.item == "id"; });
    ASSERT_NE(id, review.items().end());
    EXPECT_EQ(id->reason, scan::ReviewReason::IdUnreadable);
    EXPECT_EQ(review.reading(*id), "34?6");
    const scan::ReviewPage page = review.pages()[id->page];
    const scan::ReviewPicture whole = review.wholePage(id->page);
    ASSERT_FALSE(whole.image.isNull()) << whole.problem;
    EXPECT_EQ(whole.frames.size(), 40u + 5 * 4);

    std::filesystem::remove_all(pictures);
    const scan::ReviewPicture cut = review.picture(*id);
    ASSERT_FALSE(cut.image.isNull()) << "kept in the scan database";
    ASSERT_EQ(cut.frames.size(), 40u);
    EXPECT_LT(cut.image.width() * cut.image.height(), 400 * 400);
    // The filled bubble of the first column is dark in the picture, an empty one light.
    const auto& three = cut.frames[3];
    const auto& four = cut.frames[4];
    EXPECT_LT(qGray(cut.image.pixel(three[0] + three[2] / 2, three[1] + three[3] / 2)), 100);
    EXPECT_GT(qGray(cut.image.pixel(four[0] + four[2] / 2, four[1] + four[3] / 2)), 150);
    EXPECT_NE(review.wholePage(id->page).problem.find("图片不见了"), std::string::npos);
    EXPECT_NE(page.source.find("2.png"), std::string::npos);
}

// A page whose marks were not found is read again at its four corner marks
// as clicked, a few millimetres off their centres: its answers reach the
// table, the placing is logged, and without its image it is refused.
TEST_F(ReviewTest, APageNotLocatedIsPlacedByItsMarksShown) {
    scan::EnsurePainting();
    const auto layoutFile = home / "exam.layout.json";
    text::WriteWhole(layoutFile, scan::LayoutJson(layout));
    const auto pictures = home / "scans";
    std::filesystem::create_directories(pictures);
    constexpr double kDpi = 150;
    std::mt19937 random(7);
    for (int sheet = 0; sheet < 2; ++sheet) {
        std::vector<tools::Fill> fills;
        for (int d = 0; d < 4; ++d)
            fills.push_back({0, d + 1, std::to_string(sheet + d + 1), tools::FillKind::Solid});
        for (int q = 1; q <= 5; ++q)
            fills.push_back(
                {q, 0, std::string(1, "ABCD"[(q + sheet) % 4]), tools::FillKind::Solid});
        QImage page = tools::FilledPage(layout, 0, kDpi, fills, random);
        if (sheet == 1)
            page = tools::SpoilMarks(page, layout.pages[0], kDpi);
        ASSERT_TRUE(page.save(
            QString::fromStdString((pictures / (std::to_string(sheet + 1) + ".png")).string())));
    }
    scan::ScanSettings s;
    s.inputs = {pictures};
    s.layout = layoutFile;
    s.out = table;
    s.jobs = 2;
    ASSERT_EQ(scan::RunScan(ws, s, ui).failed, 1u);
    EXPECT_EQ(Records(), "123424812 \n");

    scan::Review review(ws, table);
    ASSERT_EQ(review.items().size(), 1u);
    const scan::ReviewItem item = review.items()[0];
    EXPECT_EQ(item.item, "page");
    ASSERT_TRUE(review.placeable(item.page));
    const std::vector<scan::Mark> corners =
        scan::CornerMarks(layout.pages[0], layout.width, layout.height);
    ASSERT_EQ(corners.size(), 4u);
    std::vector<std::array<double, 2>> clicked;
    const double off[4][2] = {{2, -1.5}, {-1.5, 2}, {1, 1.5}, {-2, -2}}; // mm
    for (std::size_t c = 0; c < 4; ++c)
        clicked.push_back(
            {(corners[c].x + off[c][0]) * kDpi / 25.4, (corners[c].y + off[c][1]) * kDpi / 25.4});
    EXPECT_THROW(review.placeByHand(item.page, {clicked[0], clicked[1]}), scan::ReviewError);
    review.placeByHand(item.page, clicked);
    EXPECT_EQ(review.pages()[item.page].status, "ok");
    EXPECT_EQ(review.pages()[item.page].examNumber, "2345");
    EXPECT_EQ(review.pages()[item.page].record, 2);
    ASSERT_EQ(review.items().size(), 1u) << "the placing stays in the list, decided";
    EXPECT_TRUE(review.decided(review.items()[0]));
    EXPECT_EQ(review.reading(review.items()[0]), "2345");
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(Records(), "123424812 \n"
                         "234548124 \n");
    const auto log = text::LoadLines(home / scan::ReviewLogName);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].substr(19),
              "\t复核\t期中\t" + (pictures / "2.png").string() + "\tpage\t\t2345");

    // 撤销 puts the page back as it was, and the table with it.
    ASSERT_TRUE(review.undo());
    EXPECT_EQ(review.pages()[item.page].status.rfind("failed", 0), 0u)
        << review.pages()[item.page].status;
    EXPECT_EQ(review.pages()[item.page].record, 0);
    ASSERT_EQ(review.items().size(), 1u);
    EXPECT_EQ(review.items()[0].item, "page");
    EXPECT_FALSE(review.decided(review.items()[0]));
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);
    EXPECT_EQ(Records(), "123424812 \n");
    EXPECT_EQ(text::LoadLines(home / scan::ReviewLogName).size(), 2u);
    review.placeByHand(item.page, clicked);
    ASSERT_EQ(review.writeTable(ui), core::Outcome::Done);

    scan::Review again(ws, table);
    EXPECT_EQ(again.pages()[item.page].record, 2) << "stored in the scan database";
    std::filesystem::remove_all(pictures);
    try {
        again.placeByHand(item.page, clicked);
        ADD_FAILURE() << "placed without its image";
    } catch (const scan::ReviewError& e) {
        EXPECT_NE(std::string(e.what()).find("图片不见了"), std::string::npos) << e.what();
    }
}

} // namespace
