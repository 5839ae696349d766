#include "analysis/RekeyCommand.h"

#include "analysis/AnalyzeCommand.h"
#include "analysis/CompactSheets.h"
#include "analysis/RekeyCheck.h"
#include "scoring/ScoreCommand.h"

#include <algorithm>
#include <map>

namespace analysis {
namespace {

// The sheets of another source with one single-choice question re-scored
// with a new key from the sheet's mark, by the scoring run's own decision;
// every other value passes through unchanged. The first full walk also
// counts how the question's points change (a NULL counting 0, as the
// analysis counts it).
class RescoredSheets : public SheetSource {
  public:
    RescoredSheets(SheetSource& inner, std::size_t column, float worth, char key, bool fullMatch)
        : mInner(inner), mColumn(column), mWorth(worth), mKey(key), mFullMatch(fullMatch) {}

    void forEach(const std::function<void(const Sheet&)>& visit) override {
        const bool counting = !mCounted;
        mInner.forEach([&](const Sheet& s) { pass(s, visit, counting); });
        mCounted = true;
    }
    void forEachInAnyOrder(const std::function<void(const Sheet&)>& visit) override {
        const bool counting = !mCounted;
        mInner.forEachInAnyOrder([&](const Sheet& s) { pass(s, visit, counting); });
        mCounted = true;
    }
    [[nodiscard]] bool walksRecords() const override { return mInner.walksRecords(); }
    void forEachRecord(const std::vector<std::int64_t>& records,
                       const std::function<void(const Sheet&)>& visit) override {
        mInner.forEachRecord(records, [&](const Sheet& s) { pass(s, visit, false); });
    }
    [[nodiscard]] std::int64_t sizeHint() const override { return mInner.sizeHint(); }

    [[nodiscard]] const std::map<double, std::int64_t>& changes() const { return mChanges; }
    [[nodiscard]] double changeSum() const { return mChangeSum; }

  private:
    void pass(const Sheet& sheet, const std::function<void(const Sheet&)>& visit, bool counting) {
        mPoints.assign(sheet.points.begin(), sheet.points.end());
        if (sheet.content.size() > mColumn && mColumn < mPoints.size()) {
            const float now =
                scoring::SingleRight(sheet.content[mColumn], mKey, scoring::KeyMatchOf(mFullMatch))
                    ? mWorth
                    : 0.0f;
            const float before = mPoints[mColumn].value_or(0.0f);
            if (counting && now != before) {
                const double change = static_cast<double>(now) - static_cast<double>(before);
                ++mChanges[change];
                mChangeSum += change;
            }
            mPoints[mColumn] = now;
        }
        Sheet rescored = sheet;
        rescored.points = mPoints;
        visit(rescored);
    }

    SheetSource& mInner;
    std::size_t mColumn;
    float mWorth;
    char mKey;
    bool mFullMatch;
    bool mCounted = false;
    std::vector<std::optional<float>> mPoints;
    std::map<double, std::int64_t> mChanges;
    double mChangeSum = 0;
};

// What the preview's copy of the sheets may take: about 140 MB, so that
// the preview stays well under 200 MB. A larger table is read twice instead.
constexpr std::int64_t kCopyBytes = 140'000'000;

} // namespace

RekeyPreview PreviewRekey(core::Workspace& ws, core::Ui& ui, const RekeyRequest& request,
                          const AnalysisOptions& options) {
    const CheckedRekey checked = CheckRekey(ws, request);
    RekeyPreview preview;
    preview.question = request.question;
    preview.position = checked.position;
    preview.oldKey = checked.oldKey;
    preview.newKey = request.key;
    if (checked.unchanged) {
        preview.unchanged = true;
        preview.notice = checked.notice;
        return preview;
    }
    preview.correctedKey = checked.corrected.settings.singleKey;
    const scoring::ExamRun run = scoring::AcceptedRun(checked.corrected);
    scoring::TableSheets table = AnalysedSheets(ws, ui, run);
    RescoredSheets sheets(table, static_cast<std::size_t>(checked.position - 1),
                          run.at(checked.position).points, request.key, run.fullMatch);
    // The analysis walks the sheets twice; the second walk comes from a
    // compact copy the first one keeps.
    const auto columns = static_cast<std::size_t>(run.columnCount());
    CompactSheets kept(sheets, columns, kCopyBytes / static_cast<std::int64_t>(columns + 10));
    {
        core::ProgressEnd end(ui);
        preview.analysis = Analyze(run, kept, options);
    }
    preview.analysis.table = ws.TableName;
    preview.sheets = preview.analysis.sheets;
    for (auto it = sheets.changes().rbegin(); it != sheets.changes().rend(); ++it) {
        preview.differences.emplace_back(it->first, it->second);
        preview.changed += it->second;
    }
    if (preview.sheets > 0)
        preview.meanChange = sheets.changeSum() / static_cast<double>(preview.sheets);
    for (const ItemFigures& item : preview.analysis.items)
        if (item.type == QuestionType::Single && item.position == checked.position)
            preview.item = item;
    return preview;
}

} // namespace analysis
