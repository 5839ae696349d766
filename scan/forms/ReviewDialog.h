#pragma once

#include "core/Ui.h"
#include "core/Workspace.h"
#include "scan/Review.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace scan::forms {

// A picture of an item or a page with each bubble framed: blue for marked
// at the value being decided, grey for not, and its darkness as a number.
// A click on a frame says which bubble.
class FramedPicture : public QWidget {
    Q_OBJECT
  public:
    explicit FramedPicture(QWidget* parent);
    void show(const ReviewPicture& picture, const std::vector<ReviewBubble>& bubbles,
              const std::string& value, bool id);
    [[nodiscard]] QSize sizeHint() const override;
    // Widget pixels per picture pixel.
    [[nodiscard]] double scale() const;
    // Points of the picture (its pixels) marked with a cross.
    void setPoints(std::vector<QPointF> points);

  signals:
    void bubbleClicked(int bubble);
    // Any click, in the picture's pixels.
    void pointClicked(QPointF point);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    ReviewPicture mPicture;
    std::vector<QPointF> mPoints;
    std::vector<ReviewBubble> mBubbles;
    std::vector<bool> mMarked;
};

// "整页": the whole page from its image, every bubble framed. A page whose
// marks were not found is shown as it is, and the four corner marks
// clicked in turn read it again; placed() follows.
class WholePageView : public QDialog {
    Q_OBJECT
  public:
    WholePageView(QWidget* parent, Review& review, std::size_t page, const ReviewPicture& whole);

  signals:
    void placed();

  private:
    void showPicture(const ReviewPicture& whole);
    void click(QPointF point);
    void showHint();
    // "重新点击": the corner marks clicked so far are forgotten.
    void clickAgain();

    FramedPicture* mPicture;
    QLabel* mHint; // what to click, what came of it
    QPushButton* mAgain;

    Review& mReview;
    std::size_t mPage;
    std::vector<QPointF> mClicks;
};

// "文件 - 扫描复核...": the items of a scan to review, worst first, each with
// its picture, its reading and the darkness of its bubbles. Keys decide: A-F
// toggle an option, Space clears, digits type an exam number, Enter accepts
// and moves on, Backspace goes back; a click on a bubble does as its key.
// "整页" shows the whole page from its image; the sensitivity shows what it
// would change before "应用"; "撤销" undoes the last decision; "完成" (or
// closing) writes the table again and opens it in the window. Its widgets
// have object names, for tests.
class ReviewDialog : public QDialog {
    Q_OBJECT
  public:
    // Throws ReviewError when the scan database cannot be reviewed.
    ReviewDialog(QWidget* parent, core::Workspace& ws, core::Ui& ui,
                 const std::filesystem::path& table);
    ~ReviewDialog() override;

    // Opens the table written, as the window opens it after a review.
    std::function<void(const QString& table)> openTable;

    [[nodiscard]] Review& review() { return *mReview; }
    [[nodiscard]] int current() const { return mCurrent; }
    [[nodiscard]] const std::string& value() const { return mValue; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void done(int r) override;

  private:
    void createControls();
    void layOutControls();
    void connectControls();
    void showItem(int index);
    void showValue();
    void refreshList();
    void toggle(const std::string& option);
    void accept();
    void back();
    void clickBubble(int bubble);
    void previewSensitivity(int value);
    void applySensitivity();
    void undo();
    void showWholePage();

    QListWidget* mItems;
    FramedPicture* mPicture;
    QLabel* mReason;   // the page, the item and why
    QLabel* mReading;  // the reading being decided
    QLabel* mDarkness; // the darkness values, the suggestions, a missing picture
    QLabel* mStatus;   // what is left, a refusal
    QSpinBox* mSensitivity;
    QLabel* mPreview; // what the sensitivity chosen would change
    QPushButton* mApply;
    QPushButton* mWholePage; // "整页"
    QPushButton* mUndo;      // "撤销"
    QPushButton* mDone;      // "完成"

    core::Ui& mUi;
    std::unique_ptr<Review> mReview;
    int mCurrent = -1;
    std::string mValue;   // the reading being decided
    bool mTyping = false; // digits of an exam number are being typed
    bool mWritten = false;
};

} // namespace scan::forms
