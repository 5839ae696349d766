#pragma once

#include "core/Outcome.h"
#include "core/Ui.h"
#include "core/Workspace.h"
#include "platform/db/Connection.h"
#include "scan/PageReading.h"

#include <QImage>

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The review of a scan: what the reader was unsure of, worst first, settled
// by hand one item at a time. Every decision is stored in TABLE.scan.db and
// logged in 复核记录.log (home folder); the session's last decisions can be
// undone; the whole stack can be decided again at another sensitivity from
// the darkness values kept, never reading the images; and TABLE.dbf is
// written again with the decisions. Shared by the review window and the
// command line.
namespace scan {

// A scan database that cannot be reviewed: missing, of another table, of
// another format. The text names the file.
class ReviewError : public std::runtime_error {
  public:
    explicit ReviewError(const std::string& text) : std::runtime_error(text) {}
};

// Why an item is to be reviewed, worst first.
enum class ReviewReason {
    NotLocated,    // 定位失败
    IdUnreadable,  // 考号不可读
    IdDuplicate,   // 考号重复
    IdNotOnList,   // 考号不在名单
    MissingPage,   // 缺页
    LightMark,     // 浅色标记
    Erasure,       // 擦除
    SeveralMarks,  // 多个标记
    NearThreshold, // 接近阈值
};
[[nodiscard]] const char* ReasonText(ReviewReason reason);
// The reason of those words; nullopt for other text.
[[nodiscard]] std::optional<ReviewReason> ReasonOf(const std::string& words);

// The log of the review's decisions in the home folder.
inline constexpr const char* ReviewLogName = "复核记录.log";

// The sensitivity of the marks: 1 to 9, 5 as scanned; each step up lowers
// every page's threshold by this share of its darkness range.
inline constexpr int kDefaultSensitivity = 5;
inline constexpr double kSensitivityStep = 0.03;

struct ReviewPage {
    std::string source; // "<file>" or "<file>#<page>"
    std::filesystem::path file;
    int filePage = 0;
    std::string layout;
    int layoutRevision = 0;
    int layoutPage = 0;
    std::string status; // "ok", "review", "duplicate", "failed: 定位失败", ...
    std::string reasons;
    std::string examNumber; // as scanned, the unused columns left out
    int record = 0;         // 1-based record of the table, 0 for none
    double threshold = 0;   // as the reader set it
    std::array<double, 9> toPicture{};
    bool noClearGroups = false; // a template page whose bubbles showed no two clear groups
};

// One thing to review: a page's item and why.
struct ReviewItem {
    std::size_t page = 0;
    std::string item; // "id", "q7", "page" for a page not located, "page2" for a missing page
    ReviewReason reason = ReviewReason::NearThreshold; // the worst of `reasons`
    std::vector<ReviewReason> reasons;
    std::vector<int> columns; // for "id": the digit columns in doubt (1-based)
};

// A bubble as the review shows it.
struct ReviewBubble {
    std::string value;
    double darkness = 0;
    bool marked = false; // as read at the current sensitivity
    int column = 0;      // for "id": its digit column (1-based)
};

// A picture of an item or a page, with a frame per bubble in its pixels.
struct ReviewPicture {
    QImage image; // null when there is none
    std::vector<std::array<int, 4>> frames;
    std::string problem; // why there is no picture ("图片不见了: ...")
};

// The effect of a sensitivity before it is applied.
struct SensitivityPreview {
    int sensitivity = kDefaultSensitivity;
    long long answersChanged = 0; // questions whose reading changes (hand decisions kept)
    long long itemsBefore = 0, itemsAfter = 0; // items to review
};

class Review {
  public:
    // Opens TABLE.scan.db beside `dbf`; with a roster in the scratch
    // database's `ids` (when `ws` is connected), numbers not on it are to
    // be reviewed too. Throws ReviewError naming the file.
    Review(core::Workspace& ws, const std::filesystem::path& dbf);
    ~Review();
    Review(const Review&) = delete;
    Review& operator=(const Review&) = delete;

    [[nodiscard]] const std::filesystem::path& table() const { return mDbf; }
    [[nodiscard]] const std::string& tableName() const { return mName; }
    [[nodiscard]] const std::vector<ReviewPage>& pages() const { return mPages; }
    // Every item to review of the scan, worst first; decided ones stay in
    // the list (decided() says which).
    [[nodiscard]] const std::vector<ReviewItem>& items() const { return mItems; }
    [[nodiscard]] bool decided(const ReviewItem& item) const;
    // The items not decided yet.
    [[nodiscard]] std::size_t pending() const;

    // The reading now: the decision made by hand, else the reader's at the
    // current sensitivity ("" for none; the exam number for "id").
    [[nodiscard]] std::string reading(const ReviewItem& item) const;
    // "A=0.82 B=0.07", or for "id" the columns in doubt: "3:2=0.61,7=0.58".
    [[nodiscard]] std::string darknessText(const ReviewItem& item) const;
    // The item's bubbles (for "id": every column's).
    [[nodiscard]] std::vector<ReviewBubble> bubbles(const ReviewItem& item) const;
    // The class list's numbers the exam number may have been meant to be.
    [[nodiscard]] std::vector<std::string> suggestions(const ReviewItem& item) const;
    // The item's picture as cut out by the scan, else cut from the image.
    [[nodiscard]] ReviewPicture picture(const ReviewItem& item) const;
    // The whole page read from its image, every bubble framed.
    [[nodiscard]] ReviewPicture wholePage(std::size_t page) const;

    // The position in items() of a page's item, or nullopt.
    [[nodiscard]] std::optional<std::size_t> find(const std::string& source,
                                                  const std::string& item) const;
    // Why `value` is not a reading of the page's item; empty when it is.
    [[nodiscard]] std::string refusal(std::size_t page, const std::string& item,
                                      const std::string& value) const;
    // A decision by hand: stored, logged. Throws ReviewError when refused.
    void decide(std::size_t page, const std::string& item, const std::string& value);
    // Whether the page is to be placed by its marks shown by hand: not
    // located by the scan, or placed so before.
    [[nodiscard]] bool placeable(std::size_t page) const;
    // The page read again from its image, placed by the centres of its four
    // corner marks as the user showed them (the whole page's picture pixels:
    // top-left, top-right, bottom-right, bottom-left). Its items join the
    // review, the whole stack is decided again, the placing is stored and
    // logged (item "page", the exam number read); placing again replaces
    // it. Throws ReviewError naming the page when the image is gone or the
    // page cannot be placed so.
    void placeByHand(std::size_t page, const std::vector<std::array<double, 2>>& points);
    // Undoes the session's last decision not undone; false when none.
    bool undo();
    [[nodiscard]] std::size_t sessionDecisions() const { return mSession.size(); }

    [[nodiscard]] int sensitivity() const { return mSensitivity; }
    // What a sensitivity would change, from the darkness values kept.
    [[nodiscard]] SensitivityPreview preview(int sensitivity) const;
    // Decides every page again at that sensitivity; hand decisions kept.
    void applySensitivity(int sensitivity);

    // Writes TABLE.dbf again with the decisions (temporary name, then
    // rename), the Flag cleared on sheets with nothing left to review. A
    // .dbf changed since the scan or the review last wrote it is
    // overwritten only after Yes. Stopped when answered No.
    core::Outcome writeTable(core::Ui& ui);

    // The record of each page item decided, for tests and the window.
    [[nodiscard]] std::optional<std::string> handDecision(std::size_t page,
                                                          const std::string& item) const;

  private:
    struct Decision {
        std::int64_t id = 0;
        std::size_t page = 0;
        std::string item;
        std::string oldReading, newReading;
    };
    struct StoredItem {
        std::string reading;
        std::string doubts;
        int question = 0;
        std::vector<ReviewBubble> bubbles;
        bool fieldOnly = false; // a template's field for the CSV only
    };

    void loadPages();
    void loadDecisions();
    void loadRoster(core::Workspace& ws);
    void makeItems();
    [[nodiscard]] const std::map<std::string, StoredItem>& itemsOf(std::size_t page) const;
    [[nodiscard]] std::string machineReading(std::size_t page, const std::string& item) const;
    [[nodiscard]] std::map<std::string, int> layoutQuestions() const;
    // The decisions in force by page and item.
    [[nodiscard]] std::map<std::pair<std::size_t, std::string>, std::string> handValues() const;

    // What the whole stack is decided from, made from TABLE.scan.db when
    // first needed.
    struct Stacked;
    [[nodiscard]] Stacked& stacked() const;
    // Decides the whole stack again as the scan does (the same number on
    // two sheets, the pages of a sheet joined by number, a missing page)
    // over the readings and the hand decisions; the pages' statuses,
    // reasons, numbers and records stored where they change.
    void restack();
    // Stores a decision, takes it into force and into this session's, and
    // logs it; its id.
    std::int64_t record(Decision d);
    void unplace(std::size_t page, const std::vector<std::pair<std::string, db::Value>>& before);

    core::Workspace& mWs;
    std::filesystem::path mDbf;
    std::filesystem::path mFile; // TABLE.scan.db
    mutable db::Connection mDb;
    std::string mName;
    std::string mSubject;
    int mQuestions = 1, mIdWidth = 1;
    int mSensitivity = kDefaultSensitivity;
    std::vector<ReviewPage> mPages;
    std::map<std::string, std::size_t> mBySource;
    std::vector<ReviewItem> mItems;
    std::map<std::pair<std::size_t, std::string>, Decision> mHand; // the decisions in force
    std::vector<std::int64_t> mSession;                            // this session's, in order
    // A page placed by hand in this session as it was before, by the
    // placing's decision, so that "撤销" can put it back.
    std::map<std::int64_t, std::vector<std::pair<std::string, db::Value>>> mUnplaced;
    std::map<std::string, std::vector<std::string>> mSuggestions; // number -> roster numbers
    std::vector<std::string> mRosterIds;                          // sorted
    mutable std::map<std::size_t, std::map<std::string, StoredItem>> mLoaded;
    mutable std::unique_ptr<Stacked> mStacked;
};

} // namespace scan
