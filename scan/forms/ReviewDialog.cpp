#include "scan/forms/ReviewDialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace scan::forms {
namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Whether a bubble is marked in the value being decided: an option letter
// in a question's value, a column's digit in an exam number.
std::vector<bool> MarkedIn(const std::vector<ReviewBubble>& bubbles, const std::string& value,
                           bool id) {
    std::vector<bool> marked(bubbles.size(), false);
    if (!id) {
        for (std::size_t b = 0; b < bubbles.size(); ++b)
            marked[b] = value.find(bubbles[b].value) != std::string::npos;
        return marked;
    }
    std::vector<int> columns;
    for (const auto& b : bubbles)
        if (std::find(columns.begin(), columns.end(), b.column) == columns.end())
            columns.push_back(b.column);
    if (columns.size() != value.size())
        return marked;
    for (std::size_t b = 0; b < bubbles.size(); ++b) {
        const auto at = static_cast<std::size_t>(
            std::find(columns.begin(), columns.end(), bubbles[b].column) - columns.begin());
        marked[b] = bubbles[b].value == std::string(1, value[at]);
    }
    return marked;
}

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// A button that leaves Enter to the dialog's keys.
QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* button = Named(new QPushButton(caption, parent), name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

FramedPicture::FramedPicture(QWidget* parent) : QWidget(parent) {
    setObjectName("FramedPicture");
    setMinimumSize(360, 160);
}

void FramedPicture::show(const ReviewPicture& picture, const std::vector<ReviewBubble>& bubbles,
                         const std::string& value, bool id) {
    mPicture = picture;
    mBubbles = bubbles;
    mMarked = MarkedIn(bubbles, value, id);
    updateGeometry();
    update();
}

QSize FramedPicture::sizeHint() const {
    if (mPicture.image.isNull())
        return {360, 160};
    return mPicture.image.size() * std::max(1.0, scale());
}

double FramedPicture::scale() const {
    if (mPicture.image.isNull())
        return 1;
    const double fit = std::min(static_cast<double>(width()) / mPicture.image.width(),
                                static_cast<double>(height()) / mPicture.image.height());
    return std::clamp(fit, 0.2, 3.0);
}

void FramedPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (mPicture.image.isNull()) {
        p.drawText(rect(), Qt::AlignCenter, Q(mPicture.problem));
        return;
    }
    const double s = scale();
    p.drawImage(QRectF(0, 0, mPicture.image.width() * s, mPicture.image.height() * s),
                mPicture.image);
    QFont font = p.font();
    font.setPointSizeF(7);
    p.setFont(font);
    for (std::size_t b = 0; b < mPicture.frames.size(); ++b) {
        const auto& f = mPicture.frames[b];
        const QRectF r(f[0] * s, f[1] * s, f[2] * s, f[3] * s);
        const bool marked = b < mMarked.size() && mMarked[b];
        p.setPen(QPen(marked ? QColor(0, 90, 220) : QColor(160, 160, 160), marked ? 2.5 : 1));
        p.drawRect(r);
        if (b < mBubbles.size()) {
            p.setPen(marked ? QColor(0, 90, 220) : QColor(200, 60, 0));
            p.drawText(QRectF(r.left() - 6, r.bottom(), r.width() + 12, 12), Qt::AlignCenter,
                       QString::number(mBubbles[b].darkness, 'f', 2));
        }
    }
    p.setPen(QPen(QColor(220, 0, 0), 2));
    for (const QPointF& point : mPoints) {
        const QPointF at = point * s;
        p.drawLine(at - QPointF(8, 0), at + QPointF(8, 0));
        p.drawLine(at - QPointF(0, 8), at + QPointF(0, 8));
    }
}

WholePageView::WholePageView(QWidget* parent, Review& review, std::size_t page,
                             const ReviewPicture& whole)
    : QDialog(parent), mReview(review), mPage(page) {
    setObjectName("WholePage");
    setWindowTitle(Q(review.pages()[page].source));
    auto* scroll = new QScrollArea(this);
    mPicture = new FramedPicture(scroll);
    scroll->setWidget(mPicture);
    mHint = Named(new QLabel(this), "lbHint");
    mHint->setWordWrap(true);
    mAgain = Button(this, "btnAgain", "重新点击");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(mHint, 1);
    bottom->addWidget(mAgain);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addLayout(bottom);
    resize(900, 700);
    connect(mPicture, &FramedPicture::pointClicked, this, &WholePageView::click);
    connect(mAgain, &QPushButton::clicked, this, &WholePageView::clickAgain);
    showPicture(whole);
    showHint();
}

void WholePageView::clickAgain() {
    mClicks.clear();
    mPicture->setPoints({});
    showHint();
}

void WholePageView::showPicture(const ReviewPicture& whole) {
    mPicture->show(whole, {}, "", false);
    mPicture->setFixedSize(whole.image.size());
    mPicture->setPoints(mClicks);
}

void WholePageView::showHint() {
    const bool placeable = mReview.placeable(mPage);
    mAgain->setVisible(placeable);
    if (!placeable) {
        mHint->clear();
        return;
    }
    static const char* const kCorners[] = {"左上", "右上", "右下", "左下"};
    mHint->setText(
        QString("请依次点击四个角上定位标记的中心：左上、右上、右下、左下。下一个: %1（已点 %2/4）")
            .arg(kCorners[std::min<std::size_t>(mClicks.size(), 3)])
            .arg(mClicks.size()));
}

void WholePageView::click(QPointF point) {
    if (!mReview.placeable(mPage))
        return;
    mClicks.push_back(point);
    mPicture->setPoints(mClicks);
    showHint();
    if (mClicks.size() < 4)
        return;
    std::vector<std::array<double, 2>> points;
    for (const QPointF& p : mClicks)
        points.push_back({p.x(), p.y()});
    mClicks.clear();
    try {
        mReview.placeByHand(mPage, points);
    } catch (const std::exception& e) {
        showHint();
        mHint->setText(Q(e.what()) +
                       "\n请重新点击四个角上定位标记的中心：左上、右上、右下、左下。");
        mPicture->setPoints({});
        return;
    }
    showPicture(mReview.wholePage(mPage));
    mAgain->setVisible(true);
    mHint->setText("已按点击的定位标记重新读出这一页，考号 " +
                   Q(mReview.pages()[mPage].examNumber) + "。点错了可以重新点击。");
    emit placed();
}

void FramedPicture::setPoints(std::vector<QPointF> points) {
    mPoints = std::move(points);
    update();
}

void FramedPicture::mousePressEvent(QMouseEvent* event) {
    const double s = scale();
    const QPointF at = event->position() / s;
    emit pointClicked(at);
    for (std::size_t b = 0; b < mPicture.frames.size() && b < mBubbles.size(); ++b) {
        const auto& f = mPicture.frames[b];
        if (QRectF(f[0], f[1], f[2], f[3]).adjusted(-2, -2, 2, 2).contains(at)) {
            emit bubbleClicked(static_cast<int>(b));
            return;
        }
    }
}

ReviewDialog::ReviewDialog(QWidget* parent, core::Workspace& ws, core::Ui& ui,
                           const std::filesystem::path& table)
    : QDialog(parent), mUi(ui), mReview(std::make_unique<Review>(ws, table)) {
    setObjectName("ReviewDialog");
    setWindowTitle("扫描复核 - " + Q(mReview->tableName()));
    createControls();
    layOutControls();
    resize(960, 560);
    connectControls();
    refreshList();
    showItem(mReview->items().empty() ? -1 : 0);
}

void ReviewDialog::createControls() {
    mItems = Named(new QListWidget(this), "lwItems");
    mItems->setFocusPolicy(Qt::NoFocus);
    mPicture = new FramedPicture(this);
    mReason = Named(new QLabel(this), "lbReason");
    mReading = Named(new QLabel(this), "lbReading");
    QFont big = mReading->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    mReading->setFont(big);
    mDarkness = Named(new QLabel(this), "lbDarkness");
    mDarkness->setWordWrap(true);
    mStatus = Named(new QLabel(this), "lbStatus");
    mSensitivity = Named(new QSpinBox(this), "sbSensitivity");
    mSensitivity->setRange(1, 9);
    mSensitivity->setValue(mReview->sensitivity());
    mSensitivity->setFocusPolicy(Qt::ClickFocus);
    mPreview = Named(new QLabel(this), "lbPreview");
    mApply = Button(this, "btnApply", "应用");
    mApply->setEnabled(false);
    mWholePage = Button(this, "btnWholePage", "整页");
    mUndo = Button(this, "btnUndo", "撤销");
    mDone = Button(this, "btnDone", "完成");
    // The keys decide: no button takes the focus or Enter.
    for (QPushButton* b : {mApply, mWholePage, mUndo, mDone})
        b->setFocusPolicy(Qt::NoFocus);
}

void ReviewDialog::layOutControls() {
    auto* right = new QVBoxLayout;
    right->addWidget(mReason);
    right->addWidget(mPicture, 1);
    right->addWidget(mReading);
    right->addWidget(mDarkness);
    auto* sensitivity = new QHBoxLayout;
    sensitivity->addWidget(Named(new QLabel("灵敏度", this), "lbSensitivity"));
    sensitivity->addWidget(mSensitivity);
    sensitivity->addWidget(mPreview, 1);
    sensitivity->addWidget(mApply);
    right->addLayout(sensitivity);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(mStatus, 1);
    buttons->addWidget(mWholePage);
    buttons->addWidget(mUndo);
    buttons->addWidget(mDone);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(mItems, 2);
    layout->addLayout(right, 3);
}

void ReviewDialog::connectControls() {
    connect(mItems, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showItem(mItems->row(item)); });
    connect(mPicture, &FramedPicture::bubbleClicked, this, &ReviewDialog::clickBubble);
    connect(mSensitivity, &QSpinBox::valueChanged, this, &ReviewDialog::previewSensitivity);
    connect(mApply, &QPushButton::clicked, this, &ReviewDialog::applySensitivity);
    connect(mWholePage, &QPushButton::clicked, this, &ReviewDialog::showWholePage);
    connect(mUndo, &QPushButton::clicked, this, &ReviewDialog::undo);
    connect(mDone, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
}

ReviewDialog::~ReviewDialog() = default;

void ReviewDialog::refreshList() {
    mItems->clear();
    for (const ReviewItem& item : mReview->items()) {
        const bool decided = mReview->decided(item);
        mItems->addItem(QString("%1 %2  %3  %4  %5")
                            .arg(decided ? "✓" : "  ")
                            .arg(Q(mReview->pages()[item.page].source))
                            .arg(Q(item.item))
                            .arg(ReasonText(item.reason))
                            .arg(Q(mReview->reading(item))));
    }
    mStatus->setText(
        QString("待复核 %1 项，共 %2 项").arg(mReview->pending()).arg(mReview->items().size()));
    if (mCurrent >= 0)
        mItems->setCurrentRow(mCurrent);
}

void ReviewDialog::showItem(int index) {
    mCurrent = index;
    if (index < 0 || index >= static_cast<int>(mReview->items().size())) {
        mReason->setText("没有需要复核的项目。");
        mReading->clear();
        mDarkness->clear();
        mPicture->show({}, {}, "", false);
        return;
    }
    mItems->setCurrentRow(index);
    const ReviewItem& item = mReview->items()[static_cast<std::size_t>(index)];
    mValue = mReview->reading(item);
    mTyping = false;
    QString reasons;
    for (ReviewReason r : item.reasons)
        reasons += (reasons.isEmpty() ? "" : "、") + QString(ReasonText(r));
    mReason->setText(
        QString("%1  %2  %3").arg(Q(mReview->pages()[item.page].source), Q(item.item), reasons));
    QString darkness = Q(mReview->darknessText(item));
    const auto suggestions = mReview->suggestions(item);
    if (!suggestions.empty()) {
        QStringList list;
        for (const auto& s : suggestions)
            list << Q(s);
        darkness += "\n名单中可能的考号: " + list.join("  ");
    }
    const ReviewPicture shown = mReview->picture(item);
    if (shown.image.isNull() && !shown.problem.empty())
        darkness += "\n" + Q(shown.problem);
    mDarkness->setText(darkness);
    mPicture->show(shown, mReview->bubbles(item), mValue, item.item == "id");
    showValue();
}

void ReviewDialog::showValue() {
    if (mCurrent < 0)
        return;
    const ReviewItem& item = mReview->items()[static_cast<std::size_t>(mCurrent)];
    mReading->setText(QString("读作: %1").arg(mValue.empty() ? QString("（空）") : Q(mValue)));
    mPicture->show(mReview->picture(item), mReview->bubbles(item), mValue, item.item == "id");
}

void ReviewDialog::toggle(const std::string& option) {
    if (mCurrent < 0 || mReview->items()[static_cast<std::size_t>(mCurrent)].item == "id")
        return;
    const auto at = mValue.find(option);
    if (at == std::string::npos)
        mValue += option;
    else
        mValue.erase(at, option.size());
    showValue();
}

void ReviewDialog::accept() {
    if (mCurrent < 0)
        return;
    const ReviewItem item = mReview->items()[static_cast<std::size_t>(mCurrent)];
    if (item.item == "page") {
        // A page not located is placed in the whole page's view, not by keys.
        if (!mReview->decided(item)) {
            mStatus->setText("这一页没有定位：请点“整页”，依次点击四个角上的定位标记。");
            return;
        }
    } else {
        try {
            mReview->decide(item.page, item.item, mValue);
        } catch (const std::exception& e) {
            mStatus->setText(Q(e.what()));
            return;
        }
    }
    refreshList();
    const int count = static_cast<int>(mReview->items().size());
    int next = mCurrent + 1;
    while (next < count && mReview->decided(mReview->items()[static_cast<std::size_t>(next)]))
        ++next;
    showItem(next < count ? next : mCurrent);
}

void ReviewDialog::back() {
    if (mCurrent > 0)
        showItem(mCurrent - 1);
}

void ReviewDialog::clickBubble(int bubble) {
    if (mCurrent < 0)
        return;
    const ReviewItem& item = mReview->items()[static_cast<std::size_t>(mCurrent)];
    const std::vector<ReviewBubble> bubbles = mReview->bubbles(item);
    if (bubble < 0 || bubble >= static_cast<int>(bubbles.size()))
        return;
    const ReviewBubble& b = bubbles[static_cast<std::size_t>(bubble)];
    if (item.item != "id") {
        toggle(b.value);
        return;
    }
    std::vector<int> columns;
    for (const auto& x : bubbles)
        if (std::find(columns.begin(), columns.end(), x.column) == columns.end())
            columns.push_back(x.column);
    const auto at = static_cast<std::size_t>(std::find(columns.begin(), columns.end(), b.column) -
                                             columns.begin());
    if (mValue.size() != columns.size())
        mValue.assign(columns.size(), '?');
    mValue[at] = b.value[0];
    showValue();
}

void ReviewDialog::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool id =
        mCurrent >= 0 && mReview->items()[static_cast<std::size_t>(mCurrent)].item == "id";
    if (key >= Qt::Key_A && key <= Qt::Key_F && !id) {
        toggle(std::string(1, static_cast<char>('A' + (key - Qt::Key_A))));
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9 && id) {
        if (!mTyping)
            mValue.clear();
        mTyping = true;
        mValue += static_cast<char>('0' + (key - Qt::Key_0));
        showValue();
    } else if (key == Qt::Key_Space) {
        mValue.clear();
        mTyping = id;
        showValue();
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        mTyping = false;
        accept();
    } else if (key == Qt::Key_Backspace) {
        if (mTyping && !mValue.empty()) {
            mValue.pop_back();
            showValue();
        } else {
            mTyping = false;
            back();
        }
    } else {
        QDialog::keyPressEvent(event);
    }
}

void ReviewDialog::previewSensitivity(int value) {
    if (value == mReview->sensitivity()) {
        mPreview->clear();
        mApply->setEnabled(false);
        return;
    }
    const SensitivityPreview p = mReview->preview(value);
    mPreview->setText(QString("改为 %1：%2 个答案改变，待复核 %3 项 → %4 项")
                          .arg(value)
                          .arg(p.answersChanged)
                          .arg(p.itemsBefore)
                          .arg(p.itemsAfter));
    mApply->setEnabled(true);
}

void ReviewDialog::applySensitivity() {
    mReview->applySensitivity(mSensitivity->value());
    mPreview->clear();
    mApply->setEnabled(false);
    mCurrent = std::min(mCurrent, static_cast<int>(mReview->items().size()) - 1);
    refreshList();
    showItem(mReview->items().empty() ? -1 : std::max(mCurrent, 0));
}

void ReviewDialog::undo() {
    if (!mReview->undo()) {
        mStatus->setText("没有可以撤销的复核。");
        return;
    }
    refreshList();
    showItem(mCurrent);
}

void ReviewDialog::showWholePage() {
    if (mCurrent < 0)
        return;
    const std::size_t page = mReview->items()[static_cast<std::size_t>(mCurrent)].page;
    const ReviewPicture whole = mReview->wholePage(page);
    if (whole.image.isNull()) {
        mUi.message(whole.problem, "扫描复核", core::Icon::Warning);
        return;
    }
    auto* view = new WholePageView(this, *mReview, page, whole);
    view->setAttribute(Qt::WA_DeleteOnClose);
    connect(view, &WholePageView::placed, this, [this] {
        refreshList();
        showItem(mCurrent);
    });
    view->open();
}

void ReviewDialog::done(int r) {
    if (!mWritten) {
        // Closing writes the table with the decisions, as "完成" does.
        try {
            if (mReview->writeTable(mUi) != core::Outcome::Done)
                return QDialog::done(r);
        } catch (const std::exception& e) {
            mUi.message(e.what(), "扫描复核", core::Icon::Error);
            return;
        }
        mWritten = true;
        QDialog::done(r);
        if (openTable)
            openTable(Q(mReview->table().string()));
        return;
    }
    QDialog::done(r);
}

} // namespace scan::forms
