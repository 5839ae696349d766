#include "scan/ScanStack.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

namespace scan {
namespace {

bool Located(const PageSummary& p) {
    return p.status == PageStatus::Ok || p.status == PageStatus::Review;
}

bool Complete(const std::string& number) {
    return number.find_first_of("? ") == std::string::npos;
}

} // namespace

char MarkCode(const ItemReading& item) {
    int bits = 0;
    for (std::size_t b = 0; b < item.bubbles.size(); ++b) {
        if (!item.bubbles[b].marked)
            continue;
        const std::string& v = item.bubbles[b].value;
        const int option =
            v.size() == 1 && v[0] >= 'A' && v[0] <= 'F' ? v[0] - 'A' : static_cast<int>(b);
        if (option < 6)
            bits |= 1 << option;
    }
    return static_cast<char>('0' + bits);
}

std::string MarkLetters(char code) {
    std::string letters;
    const int bits = code - '0';
    if (bits <= 0 || bits > 63)
        return letters;
    for (int option = 0; option < 6; ++option)
        if (bits & (1 << option))
            letters += static_cast<char>('A' + option);
    return letters;
}

char MarkCode(const std::string& letters) {
    int bits = 0;
    for (char c : letters)
        if (c >= 'A' && c <= 'F')
            bits |= 1 << (c - 'A');
    return static_cast<char>('0' + bits);
}

PageSummary Summarize(const PageReading& page, int questions) {
    PageSummary s;
    s.source = page.source;
    s.status = page.status;
    s.failure = page.failure;
    s.problem = page.problem;
    s.layoutId = page.layoutId;
    s.layoutPage = page.layoutPage;
    for (std::size_t c = 0; c < page.digits.size(); ++c) {
        const ItemReading& digit = page.digits[c];
        const auto marked = std::count_if(digit.bubbles.begin(), digit.bubbles.end(),
                                          [](const BubbleReading& b) { return b.marked; });
        if (marked == 0)
            s.number += ' ';
        else if (marked > 1 || digit.reading.size() != 1)
            s.number += '?';
        else
            s.number += digit.reading;
        for (Doubt d : digit.doubts)
            s.doubts.push_back({digit.label, DoubtText(d), static_cast<int>(c)});
    }
    s.marks.assign(static_cast<std::size_t>(std::max(questions, 0)), ' ');
    for (const ItemReading& q : page.questions) {
        if (q.question >= 1 && q.question <= questions)
            s.marks[static_cast<std::size_t>(q.question - 1)] = MarkCode(q);
        for (Doubt d : q.doubts)
            s.doubts.push_back({q.label, DoubtText(d), -1});
    }
    for (const ItemReading& f : page.fieldsOnly)
        for (Doubt d : f.doubts)
            s.doubts.push_back({f.label, DoubtText(d), -1});
    if (page.fromTemplate)
        for (const auto* items : {&page.digits, &page.questions, &page.fieldsOnly})
            for (const ItemReading& item : *items) {
                std::string& value = s.fieldValues[item.label];
                for (const BubbleReading& b : item.bubbles)
                    if (b.marked)
                        value += b.value;
            }
    return s;
}

std::map<std::string, LayoutShape> ShapesOf(const std::vector<Layout>& layouts, int& questions,
                                            int& digits) {
    std::map<std::string, LayoutShape> shapes;
    questions = 0;
    digits = 0;
    for (const auto& l : layouts) {
        LayoutShape s;
        s.pages = static_cast<int>(l.pages.size());
        for (const auto& p : l.pages) {
            for (const auto& q : p.questions)
                s.questions = std::max(s.questions, q.number);
            s.digits = std::max(s.digits, static_cast<int>(p.examNumber.size()));
        }
        questions = std::max(questions, s.questions);
        digits = std::max(digits, s.digits);
        shapes[l.id] = s;
    }
    return shapes;
}

ScanStack::ScanStack(std::map<std::string, LayoutShape> layouts, int questions)
    : mLayouts(std::move(layouts)), mQuestions(questions) {}

void ScanStack::add(PageSummary page) {
    mPages.push_back(std::move(page));
}

void ScanStack::keepColumns(const std::string& layout, std::vector<bool> kept) {
    mKept[layout] = std::move(kept);
}

void ScanStack::finish() {
    mRecordOf.assign(mPages.size(), -1);
    dropUnusedColumns();
    findDuplicates();
    makeRecords();
}

// A column no located page of its layout marked is not part of the numbers
// this stack uses (a class that numbers its pupils with fewer digits).
void ScanStack::dropUnusedColumns() {
    std::map<std::string, std::vector<bool>> used;
    for (const auto& p : mPages) {
        if (!Located(p))
            continue;
        auto& u = used[p.layoutId];
        u.resize(std::max(u.size(), p.number.size()), false);
        for (std::size_t c = 0; c < p.number.size(); ++c)
            if (p.number[c] != ' ')
                u[c] = true;
    }
    for (const auto& [layout, kept] : mKept)
        used[layout] = kept;
    mIdWidth = 0;
    for (const auto& [layout, u] : used) {
        auto& dropped = mDropped[layout];
        int kept = 0;
        for (bool columnUsed : u) {
            dropped.push_back(!columnUsed);
            kept += columnUsed ? 1 : 0;
        }
        mIdWidth = std::max(mIdWidth, kept);
    }
    for (auto& p : mPages) {
        const auto it = mDropped.find(p.layoutId);
        if (!Located(p) || it == mDropped.end())
            continue;
        std::erase_if(p.doubts, [&](const PageDoubt& d) {
            return d.column >= 0 && static_cast<std::size_t>(d.column) < it->second.size() &&
                   it->second[static_cast<std::size_t>(d.column)];
        });
        if (p.status == PageStatus::Review && p.doubts.empty())
            p.status = PageStatus::Ok;
    }
}

std::string ScanStack::examNumber(std::size_t page) const {
    const PageSummary& p = mPages[page];
    const auto it = mDropped.find(p.layoutId);
    std::string number;
    for (std::size_t c = 0; c < p.number.size(); ++c) {
        if (it != mDropped.end() && c < it->second.size() && it->second[c])
            continue;
        number += p.number[c] == ' ' ? '?' : p.number[c];
    }
    return number;
}

std::vector<bool> ScanStack::keptColumns(const std::string& layout) const {
    std::vector<bool> kept;
    const auto it = mDropped.find(layout);
    if (it != mDropped.end())
        for (bool dropped : it->second)
            kept.push_back(!dropped);
    return kept;
}

std::string ScanStack::numberOf(std::size_t page) const {
    const std::string& decided = mPages[page].decidedNumber;
    return decided.empty() ? examNumber(page) : decided;
}

// The same page of the same sheet fed twice (the same number, the same
// marks) is kept once; different sheets bearing one number are all kept,
// each to be reviewed.
void ScanStack::findDuplicates() {
    std::set<std::string> seen;
    std::map<std::string, std::vector<std::size_t>> byNumber;
    for (std::size_t i = 0; i < mPages.size(); ++i) {
        PageSummary& p = mPages[i];
        const std::string number = numberOf(i);
        if (!Located(p) || !Complete(number) || number.empty())
            continue;
        const std::string where = p.layoutId + '\n' + std::to_string(p.layoutPage) + '\n' + number;
        if (!seen.insert(where + '\n' + p.marks).second) {
            p.status = PageStatus::Duplicate;
            continue;
        }
        byNumber[where].push_back(i);
    }
    for (const auto& [where, pages] : byNumber) {
        if (pages.size() < 2)
            continue;
        for (std::size_t i : pages) {
            mPages[i].doubts.push_back({"id", "考号重复", -1});
            mPages[i].status = PageStatus::Review;
        }
    }
}

// A sheet of one page is a record. The pages of a sheet of several pages
// are joined by their layout and exam number, in the order they come; a
// page whose number is not read joins the last sheet of its layout that
// lacks that page. A sheet missing a page is kept, its questions blank,
// to be reviewed ("缺页").
void ScanStack::makeRecords() {
    std::map<std::string, std::size_t> open; // layout + number -> record
    std::map<std::string, std::size_t> last; // layout -> its latest record
    std::vector<std::set<int>> has;
    for (std::size_t i = 0; i < mPages.size(); ++i) {
        const PageSummary& p = mPages[i];
        if (!Located(p))
            continue;
        const std::string number = numberOf(i);
        const int pagesOfLayout = mLayouts.count(p.layoutId) ? mLayouts.at(p.layoutId).pages : 1;
        std::optional<std::size_t> into;
        if (pagesOfLayout > 1) {
            const std::string key = p.layoutId + '\n' + number;
            if (Complete(number) && open.count(key) && !has[open[key]].count(p.layoutPage))
                into = open[key];
            else if (!Complete(number) && last.count(p.layoutId) &&
                     !has[last[p.layoutId]].count(p.layoutPage))
                into = last[p.layoutId];
            if (!into) {
                into = mRecords.size();
                if (Complete(number))
                    open[key] = *into;
            }
            last[p.layoutId] = *into;
        } else {
            into = mRecords.size();
        }
        if (*into == mRecords.size()) {
            SheetRecord r;
            r.content.assign(static_cast<std::size_t>(mQuestions), ' ');
            mRecords.push_back(std::move(r));
            has.emplace_back();
        }
        SheetRecord& r = mRecords[*into];
        has[*into].insert(p.layoutPage);
        r.pages.push_back(i);
        if (r.id.empty() || (!Complete(r.id) && Complete(number)))
            r.id = number;
        for (std::size_t q = 0; q < p.marks.size() && q < r.content.size(); ++q)
            if (p.marks[q] != ' ')
                r.content[q] = p.marks[q];
        mRecordOf[i] = static_cast<int>(*into);
    }
    for (std::size_t r = 0; r < mRecords.size(); ++r) {
        SheetRecord& record = mRecords[r];
        const PageSummary& first = mPages[record.pages.front()];
        const auto shape = mLayouts.find(first.layoutId);
        const int questions = shape == mLayouts.end() ? mQuestions : shape->second.questions;
        for (int q = 0; q < questions && q < mQuestions; ++q)
            if (record.content[static_cast<std::size_t>(q)] == ' ')
                record.content[static_cast<std::size_t>(q)] = '0';
        const int pagesOfLayout = shape == mLayouts.end() ? 1 : shape->second.pages;
        if (has[r].size() < static_cast<std::size_t>(pagesOfLayout)) {
            std::string missing;
            for (int page = 1; page <= pagesOfLayout; ++page)
                if (!has[r].count(page))
                    missing += (missing.empty() ? "" : ",") + std::to_string(page);
            PageSummary& p = mPages[record.pages.front()];
            p.doubts.push_back({"page" + missing, "缺页", -1});
            p.status = PageStatus::Review;
        }
        std::sort(record.pages.begin(), record.pages.end(), [&](std::size_t a, std::size_t b) {
            return mPages[a].layoutPage < mPages[b].layoutPage;
        });
        for (std::size_t i : record.pages)
            record.toReview = record.toReview || mPages[i].status == PageStatus::Review;
    }
}

std::string ScanStack::reviewLabels(std::size_t page) const {
    std::string labels;
    for (const auto& d : mPages[page].doubts)
        if ((" " + labels + " ").find(" " + d.label + " ") == std::string::npos)
            labels += (labels.empty() ? "" : " ") + d.label;
    return labels;
}

std::string ScanStack::reasons(std::size_t page) const {
    const PageSummary& p = mPages[page];
    if (p.status == PageStatus::Failed)
        return p.problem;
    std::string text;
    for (const auto& d : p.doubts)
        text += (text.empty() ? "" : "; ") + d.label + " " + d.reason;
    return text;
}

std::size_t ScanStack::failedCount() const {
    return static_cast<std::size_t>(std::count_if(mPages.begin(), mPages.end(), [](const auto& p) {
        return p.status == PageStatus::Failed;
    }));
}

} // namespace scan
