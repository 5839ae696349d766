// Deciding the whole stack again from what the scan kept: at another
// sensitivity, and over the decisions by hand.
#include "scan/Review.h"

#include "platform/db/Statement.h"
#include "scan/ReviewRows.h"
#include "scan/ReviewStacked.h"
#include "scan/ScanDatabase.h"
#include "scan/ScanStack.h"

#include <algorithm>
#include <functional>
#include <set>

namespace scan {
using namespace rows;

namespace {

// What the whole stack needs of one item of a page: its reading and doubts
// as kept or as decided again, and whether any of its bubbles is marked.
struct StackItem {
    std::string label;
    int question = 0;
    std::string reading, doubts;
    bool anyMarked = false;
    bool fieldOnly = false; // a template's field for the CSV only: its doubts alone count
};

// What the stack's pages become at another sensitivity: the items of every
// located page decided again, in the reader's order.
struct Redecided {
    struct Page {
        std::size_t page = 0;
        std::vector<StackItem> items;
        std::vector<std::vector<bool>> marks; // per item, per bubble
    };
    std::vector<Page> pages;
    long long answersChanged = 0;
};

// The pages decided again at `sensitivity` from the darkness values kept.
Redecided Redecide(db::Connection& c, const std::vector<ReviewPage>& pages, int sensitivity,
                   const std::function<bool(std::size_t, const std::string&)>& byHand) {
    Redecided out;
    const AllItems all = LoadAll(c);
    for (const auto& [index, items] : all.byPage) {
        if (index >= pages.size() || !Located(pages[index].status))
            continue;
        const ReviewPage& p = pages[index];
        PageReading r;
        r.status = PageStatus::Review;
        r.threshold = p.threshold;
        r.noClearGroups = p.noClearGroups;
        double low = 1, high = 0;
        for (const auto& item : items) {
            ItemReading it;
            it.label = item.label;
            it.question = item.question;
            it.bubbles = item.bubbles;
            for (const auto& b : item.bubbles) {
                low = std::min(low, b.darkness);
                high = std::max(high, b.darkness);
            }
            (item.fieldOnly       ? r.fieldsOnly
             : item.question == 0 ? r.digits
                                  : r.questions)
                .push_back(std::move(it));
        }
        const double range = std::max(high - low, 0.0);
        Decide(r, (kDefaultSensitivity - sensitivity) * kSensitivityStep * range);

        Redecided::Page np;
        np.page = index;
        auto add = [&np](const ItemReading& it) {
            std::vector<bool> marks;
            for (const auto& b : it.bubbles)
                marks.push_back(b.marked);
            const bool any = std::find(marks.begin(), marks.end(), true) != marks.end();
            np.items.push_back({it.label, it.question, it.reading, DoubtWords(it.doubts), any});
            np.marks.push_back(std::move(marks));
        };
        for (const ItemReading& d : r.digits)
            add(d);
        for (std::size_t k = 0; k < r.questions.size(); ++k) {
            const ItemReading& q = r.questions[k];
            add(q);
            const auto& before = items[r.digits.size() + k];
            if (before.reading != q.reading && !byHand(index, q.label))
                ++out.answersChanged;
        }
        for (const ItemReading& f : r.fieldsOnly) {
            add(f);
            np.items.back().fieldOnly = true;
        }
        out.pages.push_back(std::move(np));
    }
    return out;
}

Failure FailureOf(const std::string& status) {
    for (Failure f : {Failure::Unreadable, Failure::NoSheet, Failure::NotLocated,
                      Failure::UnknownLayout, Failure::OtherLayout})
        if (status == StatusText(PageStatus::Failed, f))
            return f;
    return Failure::Unreadable;
}

// A page as the stack takes it, from its items' readings and doubts.
PageSummary SummaryOf(const ReviewPage& p, const std::vector<StackItem>& items, int questions) {
    PageSummary s;
    s.source = {p.file, p.filePage};
    if (!Located(p.status) || items.empty()) {
        s.status = p.status == "blank" ? PageStatus::Blank : PageStatus::Failed;
        s.failure = s.status == PageStatus::Failed ? FailureOf(p.status) : Failure::None;
        s.problem = p.reasons;
        return s;
    }
    s.layoutId = p.layout;
    s.layoutPage = p.layoutPage;
    s.marks.assign(static_cast<std::size_t>(std::max(questions, 0)), ' ');
    int column = 0;
    for (const StackItem& it : items) {
        const bool digit = it.question == 0 && !it.fieldOnly;
        if (digit) {
            const bool one = it.reading.size() == 1 && it.reading != "?";
            s.number += one ? it.reading : it.anyMarked ? "?" : " ";
        } else if (it.question >= 1 && it.question <= questions) {
            s.marks[static_cast<std::size_t>(it.question - 1)] = MarkCode(it.reading);
        }
        std::size_t at = 0;
        while (at < it.doubts.size()) {
            std::size_t blank = it.doubts.find(' ', at);
            if (blank == std::string::npos)
                blank = it.doubts.size();
            if (blank > at)
                s.doubts.push_back(
                    {it.label, it.doubts.substr(at, blank - at), digit ? column : -1});
            at = blank + 1;
        }
        if (digit)
            ++column;
    }
    s.status = s.doubts.empty() ? PageStatus::Ok : PageStatus::Review;
    return s;
}

// The exam-number columns of each layout that a located page marks.
void AddUsedColumns(std::map<std::string, std::vector<bool>>& used, const std::string& layout,
                    const std::vector<StackItem>& items) {
    auto& u = used[layout];
    std::size_t column = 0;
    for (const StackItem& it : items) {
        if (it.question != 0 || it.fieldOnly)
            continue;
        u.resize(std::max(u.size(), column + 1), false);
        if (it.anyMarked)
            u[column] = true;
        ++column;
    }
}

// A page of the stack decided over the readings and the hand decisions.
struct StackedPage {
    std::string status, reasons, examNumber;
    int record = 0;
};

// The whole stack decided as the scan decides it (the same number twice, the
// pages of a sheet joined by number, a missing page), with the decisions by
// hand over the readings: a question's options, the exam number.
std::vector<StackedPage>
Stack(std::map<std::string, LayoutShape> shapes, int questions,
      const std::map<std::string, std::vector<bool>>& kept, std::vector<PageSummary> summaries,
      const std::map<std::pair<std::size_t, std::string>, std::string>& hand, int& idWidth) {
    for (const auto& [key, value] : hand) {
        if (key.first >= summaries.size())
            continue;
        PageSummary& s = summaries[key.first];
        if (key.second == "id") {
            s.decidedNumber = value;
        } else if (key.second.size() > 1 && key.second[0] == 'q') {
            const int q = std::atoi(key.second.c_str() + 1);
            if (q >= 1 && static_cast<std::size_t>(q) <= s.marks.size())
                s.marks[static_cast<std::size_t>(q - 1)] = MarkCode(value);
        }
    }
    ScanStack stack(std::move(shapes), questions);
    for (const auto& [layout, columns] : kept)
        stack.keepColumns(layout, columns);
    for (PageSummary& s : summaries)
        stack.add(std::move(s));
    stack.finish();
    std::vector<StackedPage> out(stack.pages().size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const PageSummary& p = stack.pages()[i];
        out[i].status = StatusText(p.status, p.failure);
        out[i].reasons = stack.reasons(i);
        out[i].examNumber = p.layoutId.empty() ? std::string() : stack.examNumber(i);
        out[i].record = stack.recordOf(i) + 1;
    }
    idWidth = stack.idWidth();
    return out;
}

// How many items the reasons of a page give: the exam number's columns are
// one item.
long long ItemCount(const std::string& reasons) {
    std::set<std::string> labels;
    for (const auto& [label, words] : ParseReasons(reasons))
        if (ReasonOf(words))
            labels.insert(label.rfind("id", 0) == 0 ? "id" : label);
    return static_cast<long long>(labels.size());
}

} // namespace

Review::Stacked& Review::stacked() const {
    if (mStacked)
        return *mStacked;
    auto s = std::make_unique<Stacked>();
    std::vector<Layout> layouts;
    auto json = mDb.prepare("SELECT json FROM scan_layouts");
    while (json.step()) {
        try {
            layouts.push_back(ParseLayout(Text(json.column(0))));
        } catch (const LayoutError&) { // NOLINT(bugprone-empty-catch): a shape of one page then
        }
    }
    int questions = 0, digits = 0;
    s->shapes = ShapesOf(layouts, questions, digits);
    s->summaries.resize(mPages.size());
    for (std::size_t i = 0; i < mPages.size(); ++i)
        s->summaries[i] = SummaryOf(mPages[i], {}, mQuestions);
    // Each page's items come together, in the reader's order.
    auto st = mDb.prepare(
        "SELECT i.page, i.item, i.question, i.reading, i.doubts, CASE WHEN i.question = 0 THEN"
        " EXISTS(SELECT 1 FROM scan_bubbles b WHERE b.page = i.page AND b.item = i.item"
        " AND b.marked <> 0) ELSE 0 END, i.field_only FROM scan_items i ORDER BY i.rowid");
    std::vector<StackItem> items;
    std::size_t page = mPages.size();
    const auto flush = [&] {
        if (page < mPages.size() && Located(mPages[page].status)) {
            s->summaries[page] = SummaryOf(mPages[page], items, mQuestions);
            AddUsedColumns(s->kept, mPages[page].layout, items);
        }
        items.clear();
    };
    while (st.step()) {
        const auto at = static_cast<std::size_t>(st.columnInt(0));
        if (at != page) {
            flush();
            page = at;
        }
        items.push_back({Text(st.column(1)), static_cast<int>(st.columnInt(2)), Text(st.column(3)),
                         Text(st.column(4)), st.columnInt(5) != 0, st.columnInt(6) != 0});
    }
    flush();
    mStacked = std::move(s);
    return *mStacked;
}

std::map<std::pair<std::size_t, std::string>, std::string> Review::handValues() const {
    std::map<std::pair<std::size_t, std::string>, std::string> values;
    for (const auto& [key, d] : mHand)
        values[key] = d.newReading;
    return values;
}

void Review::restack() {
    Stacked& s = stacked();
    int idWidth = 0;
    const std::vector<StackedPage> out =
        Stack(s.shapes, mQuestions, s.kept, s.summaries, handValues(), idWidth);
    mDb.begin();
    try {
        auto page = mDb.prepare("UPDATE scan_pages SET status = ?, reasons = ?, exam_number = ?,"
                                " record = ? WHERE page = ?");
        for (std::size_t i = 0; i < out.size() && i < mPages.size(); ++i) {
            const ReviewPage& p = mPages[i];
            const StackedPage& n = out[i];
            if (p.status == n.status && p.reasons == n.reasons && p.examNumber == n.examNumber &&
                p.record == n.record)
                continue;
            page.reset();
            page.bindText(1, n.status);
            page.bindText(2, n.reasons);
            page.bindText(3, n.examNumber);
            if (n.record > 0)
                page.bind(4, std::int64_t{n.record});
            else
                page.bind(4, db::Value{});
            page.bind(5, static_cast<std::int64_t>(i));
            page.step();
        }
        if (idWidth > mIdWidth) {
            auto width = mDb.prepare("UPDATE scan_table SET id_width = ?");
            width.bind(1, std::int64_t{idWidth});
            width.step();
            mIdWidth = idWidth;
        }
        mDb.commit();
    } catch (...) {
        mDb.rollback();
        throw;
    }
    loadPages();
    makeItems();
}

SensitivityPreview Review::preview(int sensitivity) const {
    SensitivityPreview p;
    p.sensitivity = std::clamp(sensitivity, 1, 9);
    const Redecided r =
        Redecide(mDb, mPages, p.sensitivity, [this](std::size_t page, const std::string& item) {
            return mHand.count({page, item}) > 0;
        });
    p.answersChanged = r.answersChanged;
    p.itemsBefore = static_cast<long long>(mItems.size());
    const Stacked& s = stacked();
    std::vector<PageSummary> summaries = s.summaries;
    for (const auto& np : r.pages)
        summaries[np.page] = SummaryOf(mPages[np.page], np.items, mQuestions);
    int idWidth = 0;
    const std::vector<StackedPage> out =
        Stack(s.shapes, mQuestions, s.kept, std::move(summaries), handValues(), idWidth);
    long long delta = 0;
    for (std::size_t i = 0; i < out.size() && i < mPages.size(); ++i)
        if (Located(mPages[i].status))
            delta += ItemCount(out[i].reasons) - ItemCount(mPages[i].reasons);
    p.itemsAfter = p.itemsBefore + delta;
    return p;
}

void Review::applySensitivity(int sensitivity) {
    sensitivity = std::clamp(sensitivity, 1, 9);
    const Redecided r =
        Redecide(mDb, mPages, sensitivity, [this](std::size_t page, const std::string& item) {
            return mHand.count({page, item}) > 0;
        });
    Stacked& s = stacked();
    mDb.begin();
    try {
        auto item = mDb.prepare(
            "UPDATE scan_items SET reading = ?, doubts = ? WHERE page = ? AND item = ?");
        auto bubble = mDb.prepare(
            "UPDATE scan_bubbles SET marked = ? WHERE page = ? AND item = ? AND bubble = ?");
        for (const auto& np : r.pages) {
            const auto n = static_cast<std::int64_t>(np.page);
            for (std::size_t k = 0; k < np.items.size(); ++k) {
                const StackItem& it = np.items[k];
                item.reset();
                item.bindText(1, it.reading);
                item.bindText(2, it.doubts);
                item.bind(3, n);
                item.bindText(4, it.label);
                item.step();
                const std::vector<bool>& marks = np.marks[k];
                for (std::size_t b = 0; b < marks.size(); ++b) {
                    bubble.reset();
                    bubble.bind(1, std::int64_t{marks[b] ? 1 : 0});
                    bubble.bind(2, n);
                    bubble.bindText(3, it.label);
                    bubble.bind(4, static_cast<std::int64_t>(b));
                    bubble.step();
                }
            }
        }
        auto st = mDb.prepare("UPDATE scan_table SET sensitivity = ?");
        st.bind(1, std::int64_t{sensitivity});
        st.step();
        mDb.commit();
    } catch (...) {
        mDb.rollback();
        throw;
    }
    for (const auto& np : r.pages)
        s.summaries[np.page] = SummaryOf(mPages[np.page], np.items, mQuestions);
    mSensitivity = sensitivity;
    mLoaded.clear();
    restack();
}

} // namespace scan
