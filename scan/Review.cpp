#include "scan/Review.h"

#include "core/OpenTable.h"
#include "platform/db/DbfWriter.h"
#include "platform/db/Error.h"
#include "platform/db/Statement.h"
#include "platform/text/TextFile.h"
#include "roster/Suggester.h"
#include "roster/TableLists.h"
#include "scan/ItemPictures.h"
#include "scan/Reader.h"
#include "scan/ReviewRows.h"
#include "scan/ReviewStacked.h"
#include "scan/ScanCommand.h"
#include "scan/ScanDatabase.h"
#include "scan/ScanStack.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <set>

namespace scan {
using namespace rows;

namespace {

constexpr const char* kTitle = "扫描复核";

std::array<double, 9> Matrix(const std::string& text) {
    std::array<double, 9> m{};
    std::size_t at = 0;
    for (double& v : m) {
        if (at >= text.size())
            return {};
        std::size_t used = 0;
        try {
            v = std::stod(text.substr(at), &used);
        } catch (const std::exception&) {
            return {};
        }
        at += used;
    }
    return m;
}

bool Complete(const std::string& number) {
    return !number.empty() && number.find_first_of("? ") == std::string::npos;
}

bool IsNotLocated(const std::string& status) {
    return status == std::string("failed: ") + FailureText(Failure::NotLocated) ||
           status == std::string("failed: ") + FailureText(Failure::NoSheet);
}

std::string Fixed2(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// An item's label order within a page: the exam number first, then the
// questions by number, then the rest.
std::pair<int, int> LabelOrder(const std::string& label) {
    if (label == "page")
        return {-1, 0};
    if (label == "id")
        return {0, 0};
    if (label.size() > 1 && label[0] == 'q')
        return {1, std::atoi(label.c_str() + 1)};
    return {2, 0};
}

QImage ImageOf(const cv::Mat& grey) {
    QImage image(grey.cols, grey.rows, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.rows; ++y)
        std::copy_n(grey.ptr<std::uint8_t>(y), grey.cols, image.scanLine(y));
    return image;
}

// The page's picture as stored, decoded; empty with `problem` set when the
// file is gone or does not decode.
cv::Mat PagePicture(const ReviewPage& page, std::string& problem) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(page.file, ec)) {
        problem = "图片不见了: " + page.source;
        return {};
    }
    PageInput input(page.file);
    while (auto data = input.next()) {
        if (data->source.page != page.filePage)
            continue;
        if (!data->problem.empty()) {
            problem = page.source + ": " + data->problem;
            return {};
        }
        cv::Mat grey = data->grey.empty() ? DecodePage(*data, problem) : data->grey;
        if (grey.empty() && problem.empty())
            problem = page.source + ": 无法读取文件";
        return grey;
    }
    problem = "图片不见了: " + page.source;
    return {};
}

} // namespace

const char* ReasonText(ReviewReason reason) {
    switch (reason) {
    case ReviewReason::NotLocated:
        return "定位失败";
    case ReviewReason::IdUnreadable:
        return "考号不可读";
    case ReviewReason::IdDuplicate:
        return "考号重复";
    case ReviewReason::IdNotOnList:
        return "考号不在名单";
    case ReviewReason::MissingPage:
        return "缺页";
    case ReviewReason::LightMark:
        return "浅色标记";
    case ReviewReason::Erasure:
        return "擦除";
    case ReviewReason::SeveralMarks:
        return "多个标记";
    case ReviewReason::NearThreshold:
        return "接近阈值";
    }
    return "";
}

std::optional<ReviewReason> ReasonOf(const std::string& words) {
    for (int r = 0; r <= static_cast<int>(ReviewReason::NearThreshold); ++r)
        if (words == ReasonText(static_cast<ReviewReason>(r)))
            return static_cast<ReviewReason>(r);
    return std::nullopt;
}

Review::~Review() = default;

Review::Review(core::Workspace& ws, const std::filesystem::path& dbf)
    : mWs(ws), mDbf(dbf), mFile(ScanDatabaseOf(dbf)) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(mFile, ec))
        throw ReviewError("没有扫描记录 " + mFile.string() + "，这张表不是扫描得来的。");
    try {
        mDb.open(mFile);
        if (!mDb.hasTable("scan_table"))
            throw ReviewError(mFile.string() + " 不是扫描记录。");
        auto info = mDb.prepare("SELECT name, dbf, format FROM scan_table");
        if (!info.step())
            throw ReviewError(mFile.string() + " 不是扫描记录。");
        const int format = static_cast<int>(info.columnInt(2));
        if (format > kScanDatabaseFormat)
            throw ReviewError(mFile.string() + " 是较新版本的程序写的（格式 " +
                              std::to_string(format) + "），请用新版本复核。");
        if (format < kScanDatabaseFormat)
            throw ReviewError(mFile.string() + " 是较旧版本的程序写的（格式 " +
                              std::to_string(format) + "），请重新扫描后再复核。");
        mName = Text(info.column(0));
        const std::string name = core::TableNameOf(dbf.filename().string());
        if (mName != name || Text(info.column(1)) != dbf.filename().string())
            throw ReviewError(mFile.string() + " 是表 " + mName + " 的扫描记录，不是表 " + name +
                              " 的。");
    } catch (const db::Error& e) {
        throw ReviewError(mFile.string() + " 不能打开: " + e.what());
    }
    auto facts = mDb.prepare("SELECT subject, questions, id_width, sensitivity FROM scan_table");
    if (facts.step()) {
        mSubject = Text(facts.column(0));
        mQuestions = static_cast<int>(facts.columnInt(1));
        mIdWidth = static_cast<int>(facts.columnInt(2));
        mSensitivity = static_cast<int>(facts.columnInt(3));
    }
    loadPages();
    loadDecisions();
    loadRoster(ws);
    makeItems();
}

void Review::loadPages() {
    mPages.clear();
    mBySource.clear();
    auto st = mDb.prepare("SELECT source, file, file_page, layout, layout_revision, layout_page,"
                          " status, reasons, exam_number, record, threshold, to_picture,"
                          " no_clear_groups FROM scan_pages ORDER BY page");
    while (st.step()) {
        ReviewPage p;
        p.source = Text(st.column(0));
        p.file = std::filesystem::path(Text(st.column(1)));
        p.filePage = static_cast<int>(st.columnInt(2));
        p.layout = Text(st.column(3));
        p.layoutRevision = static_cast<int>(st.columnInt(4));
        p.layoutPage = static_cast<int>(st.columnInt(5));
        p.status = Text(st.column(6));
        p.reasons = Text(st.column(7));
        p.examNumber = Text(st.column(8));
        p.record = static_cast<int>(st.columnInt(9));
        p.threshold = Real(st.column(10));
        p.toPicture = Matrix(Text(st.column(11)));
        p.noClearGroups = st.columnInt(12) != 0;
        mBySource.emplace(p.source, mPages.size());
        mPages.push_back(std::move(p));
    }
}

void Review::loadDecisions() {
    mHand.clear();
    auto st = mDb.prepare("SELECT id, page, item, old_reading, new_reading FROM scan_decisions"
                          " WHERE undone = 0 ORDER BY id");
    while (st.step()) {
        Decision d{st.columnInt(0), static_cast<std::size_t>(st.columnInt(1)), Text(st.column(2)),
                   Text(st.column(3)), Text(st.column(4))};
        mHand[{d.page, d.item}] = d;
    }
}

// The numbers not on the class list, with the list's numbers without a
// sheet they were probably meant to be.
void Review::loadRoster(core::Workspace& ws) {
    if (!ws.connection.isOpen())
        return;
    const std::optional<roster::Roster> roster = roster::ReadIds(ws.connection);
    if (!roster)
        return;
    std::set<std::string> scanned;
    for (const auto& p : mPages)
        if (p.record > 0)
            scanned.insert(p.examNumber);
    roster::Suggester suggester(*roster);
    std::vector<bool> free(roster->size());
    for (std::size_t i = 0; i < roster->size(); ++i) {
        free[i] = !scanned.count(std::string(roster->id(i)));
        mRosterIds.emplace_back(roster->id(i));
    }
    std::sort(mRosterIds.begin(), mRosterIds.end());
    suggester.setWithoutSheet(std::move(free));
    for (const auto& number : scanned) {
        if (!Complete(number) || std::binary_search(mRosterIds.begin(), mRosterIds.end(), number))
            continue;
        auto& list = mSuggestions[number];
        for (const auto& s : suggester.suggest(number))
            list.emplace_back(roster->id(s.student));
    }
}

void Review::makeItems() {
    mItems.clear();
    // The readings of the items in doubt: several marks are a reason too.
    std::map<std::pair<std::size_t, std::string>, std::string> doubted;
    auto st = mDb.prepare("SELECT page, item, reading FROM scan_items WHERE doubts <> ''");
    while (st.step())
        doubted[{static_cast<std::size_t>(st.columnInt(0)), Text(st.column(1))}] =
            Text(st.column(2));

    for (std::size_t i = 0; i < mPages.size(); ++i) {
        const ReviewPage& p = mPages[i];
        std::map<std::string, ReviewItem> items;
        auto add = [&](const std::string& label, ReviewReason reason, int column = 0) {
            ReviewItem& item = items[label];
            item.page = i;
            item.item = label;
            if (std::find(item.reasons.begin(), item.reasons.end(), reason) == item.reasons.end())
                item.reasons.push_back(reason);
            if (column > 0 &&
                std::find(item.columns.begin(), item.columns.end(), column) == item.columns.end())
                item.columns.push_back(column);
        };
        if (IsNotLocated(p.status) || mHand.count({i, "page"}))
            add("page", ReviewReason::NotLocated);
        if (p.status.rfind("failed", 0) != 0)
            for (const auto& [label, words] : ParseReasons(p.reasons)) {
                const std::optional<ReviewReason> reason = ReasonOf(words);
                if (!reason)
                    continue;
                if (label.rfind("id", 0) == 0)
                    add("id", *reason, label.size() > 2 ? std::atoi(label.c_str() + 2) : 0);
                else
                    add(label, *reason);
                if (label[0] == 'q') {
                    const auto reading = doubted.find({i, label});
                    if (reading != doubted.end() && reading->second.size() > 1)
                        add(label, ReviewReason::SeveralMarks);
                }
            }
        if (p.record > 0 && p.status != "duplicate" && mSuggestions.count(p.examNumber))
            add("id", ReviewReason::IdNotOnList);
        for (auto& [label, item] : items) {
            std::sort(item.reasons.begin(), item.reasons.end());
            std::sort(item.columns.begin(), item.columns.end());
            item.reason = item.reasons.front();
            mItems.push_back(std::move(item));
        }
    }
    std::stable_sort(mItems.begin(), mItems.end(), [](const ReviewItem& a, const ReviewItem& b) {
        if (a.reason != b.reason)
            return a.reason < b.reason;
        if (a.page != b.page)
            return a.page < b.page;
        return LabelOrder(a.item) < LabelOrder(b.item);
    });
}

bool Review::decided(const ReviewItem& item) const {
    return mHand.count({item.page, item.item}) > 0;
}

std::size_t Review::pending() const {
    return static_cast<std::size_t>(std::count_if(
        mItems.begin(), mItems.end(), [this](const ReviewItem& i) { return !decided(i); }));
}

std::optional<std::string> Review::handDecision(std::size_t page, const std::string& item) const {
    const auto it = mHand.find({page, item});
    if (it == mHand.end())
        return std::nullopt;
    return it->second.newReading;
}

const std::map<std::string, Review::StoredItem>& Review::itemsOf(std::size_t page) const {
    auto found = mLoaded.find(page);
    if (found != mLoaded.end())
        return found->second;
    if (mLoaded.size() > 256)
        mLoaded.clear();
    auto& items = mLoaded[page];
    auto st = mDb.prepare(
        "SELECT item, question, reading, doubts, field_only FROM scan_items WHERE page = ?");
    st.bind(1, static_cast<std::int64_t>(page));
    while (st.step()) {
        StoredItem& item = items[Text(st.column(0))];
        item.question = static_cast<int>(st.columnInt(1));
        item.reading = Text(st.column(2));
        item.doubts = Text(st.column(3));
        item.fieldOnly = st.columnInt(4) != 0;
    }
    auto b = mDb.prepare("SELECT item, value, darkness, marked FROM scan_bubbles WHERE page = ?"
                         " ORDER BY item, bubble");
    b.bind(1, static_cast<std::int64_t>(page));
    while (b.step()) {
        const std::string label = Text(b.column(0));
        ReviewBubble bubble{Text(b.column(1)), Real(b.column(2)), b.columnInt(3) != 0, 0};
        if (label.rfind("id", 0) == 0)
            bubble.column = std::atoi(label.c_str() + 2);
        items[label].bubbles.push_back(std::move(bubble));
    }
    return items;
}

std::string Review::machineReading(std::size_t page, const std::string& item) const {
    if (item == "id")
        return mPages[page].examNumber;
    const auto& items = itemsOf(page);
    const auto it = items.find(item);
    if (it == items.end() || (item.rfind("q", 0) != 0 && !it->second.fieldOnly))
        return {};
    return it->second.reading;
}

std::string Review::reading(const ReviewItem& item) const {
    if (auto hand = handDecision(item.page, item.item))
        return *hand;
    return machineReading(item.page, item.item);
}

std::vector<ReviewBubble> Review::bubbles(const ReviewItem& item) const {
    const auto& items = itemsOf(item.page);
    if (item.item != "id") {
        const auto it = items.find(item.item);
        return it == items.end() ? std::vector<ReviewBubble>{} : it->second.bubbles;
    }
    std::vector<ReviewBubble> all;
    std::vector<const StoredItem*> columns;
    for (const auto& [label, stored] : items)
        if (label.rfind("id", 0) == 0 && label.size() > 2)
            columns.push_back(&stored);
    std::sort(columns.begin(), columns.end(), [](const StoredItem* a, const StoredItem* b) {
        return a->bubbles.empty() ||
               (!b->bubbles.empty() && a->bubbles[0].column < b->bubbles[0].column);
    });
    for (const StoredItem* c : columns)
        all.insert(all.end(), c->bubbles.begin(), c->bubbles.end());
    return all;
}

std::string Review::darknessText(const ReviewItem& item) const {
    std::string text;
    if (item.item != "id") {
        for (const ReviewBubble& b : bubbles(item))
            text += (text.empty() ? "" : " ") + b.value + "=" + Fixed2(b.darkness);
        return text;
    }
    const std::vector<ReviewBubble> all = bubbles(item);
    const double threshold = mPages[item.page].threshold;
    for (int column : item.columns) {
        std::vector<const ReviewBubble*> shown;
        const ReviewBubble* darkest = nullptr;
        for (const ReviewBubble& b : all) {
            if (b.column != column)
                continue;
            if (b.darkness >= threshold / 2)
                shown.push_back(&b);
            if (!darkest || b.darkness > darkest->darkness)
                darkest = &b;
        }
        if (shown.empty() && darkest)
            shown.push_back(darkest);
        std::string part = std::to_string(column) + ":";
        for (std::size_t k = 0; k < shown.size(); ++k)
            part += (k ? "," : "") + shown[k]->value + "=" + Fixed2(shown[k]->darkness);
        text += (text.empty() ? "" : " ") + part;
    }
    return text;
}

std::vector<std::string> Review::suggestions(const ReviewItem& item) const {
    if (item.item != "id")
        return {};
    const auto it = mSuggestions.find(mPages[item.page].examNumber);
    return it == mSuggestions.end() ? std::vector<std::string>{} : it->second;
}

ReviewPicture Review::picture(const ReviewItem& item) const {
    ReviewPicture picture;
    auto st = mDb.prepare("SELECT png, frames FROM scan_pictures WHERE page = ? AND item = ?");
    st.bind(1, static_cast<std::int64_t>(item.page));
    st.bindText(2, item.item);
    if (st.step()) {
        const std::string png = Text(st.column(0));
        picture.image = QImage::fromData(reinterpret_cast<const uchar*>(png.data()),
                                         static_cast<int>(png.size()), "PNG");
        const std::string frames = Text(st.column(1));
        std::size_t at = 0;
        while (at < frames.size()) {
            std::array<int, 4> f{};
            if (std::sscanf(frames.c_str() + at, "%d,%d,%d,%d", &f[0], &f[1], &f[2], &f[3]) != 4)
                break;
            picture.frames.push_back(f);
            at = frames.find(' ', at);
            if (at == std::string::npos)
                break;
            ++at;
        }
        return picture;
    }
    // No picture kept (a number on no list, a page not located): the
    // whole page from its image.
    return wholePage(item.page);
}

ReviewPicture Review::wholePage(std::size_t page) const {
    ReviewPicture picture;
    const ReviewPage& p = mPages[page];
    const cv::Mat grey = PagePicture(p, picture.problem);
    if (grey.empty())
        return picture;
    if (p.toPicture == std::array<double, 9>{}) {
        picture.image = ImageOf(grey);
        return picture;
    }
    auto st = mDb.prepare("SELECT json FROM scan_layouts WHERE id = ? AND revision = ?");
    st.bindText(1, p.layout);
    st.bind(2, std::int64_t{p.layoutRevision});
    if (!st.step()) {
        picture.image = ImageOf(grey);
        return picture;
    }
    const Layout layout = ParseLayout(Text(st.column(0)));
    constexpr double kScale = 4;
    picture.image = ImageOf(CutOut(grey, p.toPicture, {0, 0, layout.width, layout.height}, kScale));
    for (const Page& lp : layout.pages) {
        if (lp.number != p.layoutPage)
            continue;
        auto frame = [&](const Bubble& b) {
            picture.frames.push_back({static_cast<int>(std::lround(b.area.left() * kScale)),
                                      static_cast<int>(std::lround(b.area.top() * kScale)),
                                      static_cast<int>(std::lround(b.area.w * kScale)),
                                      static_cast<int>(std::lround(b.area.h * kScale))});
        };
        for (const Digit& d : lp.examNumber)
            for (const Bubble& b : d.bubbles)
                frame(b);
        for (const Question& q : lp.questions)
            for (const Bubble& b : q.bubbles)
                frame(b);
    }
    return picture;
}

std::optional<std::size_t> Review::find(const std::string& source, const std::string& item) const {
    for (std::size_t i = 0; i < mItems.size(); ++i)
        if (mPages[mItems[i].page].source == source && mItems[i].item == item)
            return i;
    return std::nullopt;
}

std::string Review::refusal(std::size_t page, const std::string& item,
                            const std::string& value) const {
    if (page >= mPages.size())
        return "没有这一页";
    const ReviewPage& p = mPages[page];
    if (!Located(p.status))
        return p.source + " 没有读出，不能设定 " + item;
    if (item == "id") {
        const std::size_t width =
            p.examNumber.empty() ? static_cast<std::size_t>(mIdWidth) : p.examNumber.size();
        if (value.size() != width ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return p.source + " 的考号应为 " + std::to_string(width) + " 位数字，不是 \"" +
                   text::LogField(value) + "\"";
        return {};
    }
    const auto& items = itemsOf(page);
    // A question, or a template's field for the CSV only: decided by hand
    // for the review's sake, never written into the table's Content.
    auto it = items.find(item);
    if (it != items.end() && item.rfind("q", 0) != 0 && !it->second.fieldOnly)
        it = items.end();
    if (it == items.end())
        return p.source + " 没有 " + item + " 这一项";
    std::set<char> seen;
    for (char c : value) {
        const bool option =
            std::any_of(it->second.bubbles.begin(), it->second.bubbles.end(),
                        [c](const ReviewBubble& b) { return b.value == std::string(1, c); });
        if (!option || !seen.insert(c).second)
            return p.source + " 的 " + item + " 没有选项组合 \"" + text::LogField(value) + "\"";
    }
    return {};
}

void Review::decide(std::size_t page, const std::string& item, const std::string& value) {
    if (auto why = refusal(page, item, value); !why.empty())
        throw ReviewError(why);
    std::string normal = value;
    if (item != "id") {
        // The options in bubble order, as the reader joins them.
        normal.clear();
        for (const ReviewBubble& b : itemsOf(page).at(item).bubbles)
            if (value.find(b.value) != std::string::npos)
                normal += b.value;
    }
    record({0, page, item, handDecision(page, item).value_or(machineReading(page, item)), normal});
    // Another number may make two sheets one, or part them.
    if (item == "id")
        restack();
}

std::int64_t Review::record(Decision d) {
    text::LogFile log(mWs.file(ReviewLogName));
    auto st =
        mDb.prepare("INSERT INTO scan_decisions(page, item, old_reading, new_reading, decided)"
                    " VALUES(?,?,?,?,?)");
    st.bind(1, static_cast<std::int64_t>(d.page));
    st.bindText(2, d.item);
    st.bindText(3, d.oldReading);
    st.bindText(4, d.newReading);
    st.bindText(5, text::LocalTimeNow());
    st.step();
    auto id = mDb.prepare("SELECT last_insert_rowid()");
    id.step();
    d.id = id.columnInt(0);
    mHand[{d.page, d.item}] = d;
    mSession.push_back(d.id);
    log.append({text::LocalTimeNow() + "\t复核\t" + text::LogField(mName) + "\t" +
                text::LogField(mPages[d.page].source) + "\t" + d.item + "\t" +
                text::LogField(d.oldReading) + "\t" + text::LogField(d.newReading)});
    return d.id;
}

bool Review::placeable(std::size_t page) const {
    return page < mPages.size() &&
           (IsNotLocated(mPages[page].status) || mHand.count({page, "page"}) > 0);
}

void Review::placeByHand(std::size_t page, const std::vector<std::array<double, 2>>& points) {
    if (!placeable(page))
        throw ReviewError(page < mPages.size() ? mPages[page].source + " 已经定位"
                                               : std::string("没有这一页"));
    const ReviewPage& p = mPages[page];
    if (points.size() != 4)
        throw ReviewError(p.source + ": 需要依次点击四个角上的定位标记");
    std::string problem;
    const cv::Mat grey = PagePicture(p, problem);
    if (grey.empty())
        throw ReviewError(problem);
    std::vector<Layout> layouts;
    auto json = mDb.prepare("SELECT json FROM scan_layouts ORDER BY id, revision");
    while (json.step())
        layouts.push_back(ParseLayout(Text(json.column(0))));
    const LayoutSet set(std::move(layouts));
    std::vector<cv::Point2d> shown;
    for (const auto& point : points)
        shown.emplace_back(point[0], point[1]);
    PageReading reading = ReadPageAtMarks(grey, {p.file, p.filePage}, set, shown);
    std::vector<std::pair<std::string, db::Value>> before;
    auto row = mDb.prepare("SELECT * FROM scan_pages WHERE page = ?");
    row.bind(1, static_cast<std::int64_t>(page));
    if (row.step())
        for (int c = 0; c < row.columnCount(); ++c)
            before.emplace_back(row.columnName(c), row.column(c));
    if (reading.status == PageStatus::Failed)
        throw ReviewError(p.source + ": " + reading.problem);
    for (const Layout& l : set.layouts())
        for (const Page& lp : l.pages)
            if (l.id == reading.layoutId && l.revision == reading.layoutRevision &&
                lp.number == reading.layoutPage)
                reading.pictures = PicturesToReview(grey, reading, lp);

    mDb.begin();
    try {
        StorePage(mDb, page, reading, true);
        mDb.commit();
    } catch (...) {
        mDb.rollback();
        throw;
    }
    mLoaded.erase(page);
    mStacked.reset();
    loadPages();
    restack();

    // Stored and logged as a decision; placing again replaces it.
    const std::string old = handDecision(page, "page").value_or("");
    auto drop =
        mDb.prepare("UPDATE scan_decisions SET undone = 1 WHERE page = ? AND item = 'page'");
    drop.bind(1, static_cast<std::int64_t>(page));
    drop.step();
    mUnplaced[record({0, page, "page", old, mPages[page].examNumber})] = std::move(before);
    makeItems();
}

// The page of a placing undone as it was before: its items, bubbles and
// pictures gone, its row as kept.
void Review::unplace(std::size_t page,
                     const std::vector<std::pair<std::string, db::Value>>& before) {
    mDb.begin();
    try {
        ForgetPageItems(mDb, page);
        std::string columns, marks;
        for (const auto& [name, value] : before) {
            columns += (columns.empty() ? "" : ", ") + name;
            marks += marks.empty() ? "?" : ",?";
        }
        auto row =
            mDb.prepare("INSERT OR REPLACE INTO scan_pages(" + columns + ") VALUES(" + marks + ")");
        for (std::size_t c = 0; c < before.size(); ++c)
            row.bind(static_cast<int>(c + 1), before[c].second);
        row.step();
        mDb.commit();
    } catch (...) {
        mDb.rollback();
        throw;
    }
    mLoaded.erase(page);
    mStacked.reset();
    loadPages();
}

bool Review::undo() {
    while (!mSession.empty()) {
        const std::int64_t id = mSession.back();
        mSession.pop_back();
        const auto it = std::find_if(mHand.begin(), mHand.end(),
                                     [id](const auto& h) { return h.second.id == id; });
        if (it == mHand.end())
            continue;
        const Decision d = it->second;
        text::LogFile log(mWs.file(ReviewLogName));
        auto st = mDb.prepare("UPDATE scan_decisions SET undone = 1 WHERE id = ?");
        st.bind(1, id);
        st.step();
        if (const auto placed = mUnplaced.find(id); placed != mUnplaced.end()) {
            unplace(d.page, placed->second);
            mUnplaced.erase(placed);
        }
        loadDecisions();
        const std::string now =
            handDecision(d.page, d.item).value_or(machineReading(d.page, d.item));
        log.append({text::LocalTimeNow() + "\t撤销\t" + text::LogField(mName) + "\t" +
                    text::LogField(mPages[d.page].source) + "\t" + d.item + "\t" +
                    text::LogField(d.newReading) + "\t" + text::LogField(now)});
        if (d.item == "id" || d.item == "page")
            restack();
        return true;
    }
    return false;
}

std::map<std::string, int> Review::layoutQuestions() const {
    std::map<std::string, int> questions;
    auto st = mDb.prepare("SELECT p.layout, max(i.question) FROM scan_items i"
                          " JOIN scan_pages p ON p.page = i.page GROUP BY p.layout");
    while (st.step())
        questions[Text(st.column(0))] = static_cast<int>(st.columnInt(1));
    return questions;
}

core::Outcome Review::writeTable(core::Ui& ui) {
    std::error_code ec;
    if (std::filesystem::exists(mDbf, ec)) {
        auto st = mDb.prepare("SELECT sha256 FROM scan_table");
        const std::string stored = st.step() ? Text(st.column(0)) : std::string();
        if (Sha256Of(mDbf) != stored &&
            !ui.question(mDbf.string() + " 在扫描或上次复核之后被修改过。用复核结果重写它，"
                                         "这些修改将会丢失。是否重写？",
                         kTitle, core::GoOn::WithYes))
            return core::Outcome::Stopped;
    }
    // Every page's answers: the reader's at the current sensitivity, the
    // hand decisions over them.
    std::map<std::size_t, std::vector<std::pair<int, char>>> answers;
    auto st = mDb.prepare("SELECT page, item, question, reading FROM scan_items"
                          " WHERE question > 0 AND field_only = 0 ORDER BY rowid");
    while (st.step()) {
        const auto page = static_cast<std::size_t>(st.columnInt(0));
        const std::string item = Text(st.column(1));
        std::string reading = Text(st.column(3));
        if (auto hand = handDecision(page, item))
            reading = *hand;
        char code = MarkCode(reading);
        if (reading.find_first_not_of("ABCDEF") != std::string::npos) {
            // A template's own values ("low", "high"): coded by their
            // places, as the scan codes them.
            ItemReading marks;
            std::size_t at = 0;
            for (const ReviewBubble& b : itemsOf(page).at(item).bubbles) {
                const bool marked =
                    !b.value.empty() && reading.compare(at, b.value.size(), b.value) == 0;
                at += marked ? b.value.size() : 0;
                marks.bubbles.push_back({b.value, b.darkness, marked});
            }
            code = MarkCode(marks);
        }
        answers[page].emplace_back(static_cast<int>(st.columnInt(2)), code);
    }
    std::set<std::size_t> unsettled;
    for (const ReviewItem& item : mItems)
        if (!decided(item) && item.reason != ReviewReason::IdNotOnList)
            unsettled.insert(item.page);

    std::map<int, std::vector<std::size_t>> records;
    for (std::size_t i = 0; i < mPages.size(); ++i)
        if (mPages[i].record > 0)
            records[mPages[i].record].push_back(i);
    const std::map<std::string, int> questions = layoutQuestions();
    db::DbfTableWriter table(mDbf, AnswerTableFields(mWs.Fields, mIdWidth, mQuestions));
    for (auto& [record, pages] : records) {
        std::string id, content(static_cast<std::size_t>(mQuestions), ' ');
        bool flag = false;
        for (std::size_t i : pages) {
            const std::string number = handDecision(i, "id").value_or(mPages[i].examNumber);
            if (id.empty() || (!Complete(id) && Complete(number)))
                id = number;
            for (const auto& [q, code] : answers[i])
                if (q >= 1 && q <= mQuestions)
                    content[static_cast<std::size_t>(q - 1)] = code;
            flag = flag || unsettled.count(i) > 0;
        }
        const auto shape = questions.find(mPages[pages.front()].layout);
        const int count = shape == questions.end() ? mQuestions : shape->second;
        for (int q = 0; q < count && q < mQuestions; ++q)
            if (content[static_cast<std::size_t>(q)] == ' ')
                content[static_cast<std::size_t>(q)] = '0';
        std::sort(pages.begin(), pages.end(), [&](std::size_t a, std::size_t b) {
            return mPages[a].layoutPage < mPages[b].layoutPage;
        });
        table.append({id, content, flag ? "1" : "", mSubject, "", mPages[pages.front()].source});
    }
    table.commit();
    auto digest = mDb.prepare("UPDATE scan_table SET sha256 = ?");
    digest.bindText(1, Sha256Of(mDbf));
    digest.step();
    return core::Outcome::Done;
}

} // namespace scan
