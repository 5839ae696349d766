// The main window's desktop habits: edits only when allowed, and undone;
// the tables opened last; sorting from the column headers; the window's
// place and the column widths kept between runs; the empty grid's hint.
#include "app/forms/DataSetModel.h"
#include "app/forms/Guard.h"
#include "app/forms/MainWindow.h"
#include "core/ViewOrder.h"
#include "platform/text/Gbk.h"
#include "scoring/MarkText.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace app::forms {
namespace {

constexpr const char* kEmptyHint =
    "还没有打开数据表。\n\n"
    "请先用“文件 - 打开DBF表...”（Ctrl+O）打开读卡机生成的 .dbf 数据表，\n"
    "或者把 .dbf 文件拖到这个窗口上。";

// True when some part of the rectangle is on one of the screens.
bool OnAScreen(const QRect& place) {
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(place))
            return true;
    return false;
}

// Writes the recent tables only: the place and the widths are written when
// the window closes. A config.ini made here starts with the field names in
// use, as the one written at closing does.
void SaveRecent(const core::Workspace& ws, const std::vector<std::string>& recent) {
    const std::filesystem::path configFile = ws.configFile();
    std::error_code ec;
    if (!std::filesystem::exists(configFile, ec))
        (void)core::SaveConfig(configFile, ws.Fields);
    core::WindowState stored = core::LoadWindowState(configFile);
    stored.recent = recent;
    (void)core::SaveWindowState(configFile, stored); // a read-only home keeps the last run's
}

} // namespace

void MainWindow::buildDesk() {
    mRecentMenu = new QMenu("最近打开", mFileMenu);
    mRecentMenu->setObjectName("nRecent");
    mFileMenu->insertMenu(mImportRosterItem, mRecentMenu);

    auto* view = new QMenu("视图", menuBar());
    view->setObjectName("nView");
    menuBar()->insertMenu(mHelpMenu->menuAction(), view);
    mAllowEditItem = item(view, "nAllowEdit", "允许编辑", &MainWindow::allowEditing);
    mAllowEditItem->setCheckable(true);
    mAllowEditItem->setChecked(false);
    QAction* undo = item(view, "nUndoEdit", "撤销编辑", &MainWindow::undoEdit);
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undo->setShortcutContext(Qt::WindowShortcut);

    mModel->postEdit = [this](int row, int column, const db::Value& value) {
        mEdits.post(mWs, row, column, value);
    };
    mModel->toolTip = [this](int, int column, const QString& text) {
        if (!text::EqualNoCase(mWs.view.field(column).name, mWs.Fields.Content))
            return QString();
        return QString::fromStdString(scoring::MarksText(text.toStdString()));
    };

    QHeaderView* header = mGrid->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int section) { sortByHeader(section); });
    connect(mModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] { rememberWidths(); });
    connect(mModel, &QAbstractItemModel::modelReset, this, [this] {
        applyWidths();
        syncSortIndicator();
        mEmptyHint->setVisible(mModel->columnCount() == 0);
    });

    mEmptyHint = new QLabel(kEmptyHint, mGrid->viewport());
    mEmptyHint->setObjectName("EmptyHint");
    mEmptyHint->setAlignment(Qt::AlignCenter);
    mEmptyHint->setWordWrap(true);
    auto* hintLayout = new QVBoxLayout(mGrid->viewport());
    hintLayout->addWidget(mEmptyHint, 1, Qt::AlignCenter);
    mEmptyHint->setVisible(mModel->columnCount() == 0);
}

void MainWindow::allowEditing() {
    mModel->setEditable(mAllowEditItem->isChecked());
}

void MainWindow::undoEdit() {
    if (!mEdits.canUndo()) {
        mUi->message("没有可以撤销的编辑。", core::Title(mWs), core::Icon::Information);
        return;
    }
    Guarded(this, [&] {
        const core::EditSession::Undone undone = mEdits.undoLast(mWs);
        const int column = mWs.view.findField(undone.edit.column);
        if (column >= 0)
            mGrid->setCurrentIndex(mModel->index(undone.row, column));
        mStatusBar->showMessage(QString::fromStdString("已撤销: " + undone.edit.column +
                                                       " 恢复为“" +
                                                       db::Query::ToText(undone.edit.after) + "”"),
                                5000);
    });
}

void MainWindow::sortByHeader(int section) {
    if (!mWs.view.isOpen() || section < 0 || section >= mWs.view.fieldCount())
        return;
    const std::string column = mWs.view.field(section).name;
    const core::ViewOrder now = core::CurrentOrder(mWs.view);
    const bool again =
        text::EqualNoCase(now.column, column) && now.order == core::SortOrder::Ascending;
    Guarded(this, [&] {
        BusyCursor busy;
        core::SortView(mWs, column,
                       again ? core::SortOrder::Descending : core::SortOrder::Ascending);
    });
    syncSortIndicator(); // also after a failure, over the indicator the click moved
}

void MainWindow::syncSortIndicator() {
    int section = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
    if (mWs.view.isOpen()) {
        const core::ViewOrder now = core::CurrentOrder(mWs.view);
        if (!now.column.empty())
            section = mWs.view.findField(now.column);
        if (now.order == core::SortOrder::Descending)
            order = Qt::DescendingOrder;
    }
    mGrid->horizontalHeader()->setSortIndicator(section, order);
}

// Called before the grid is read anew, when the dataset may already be
// closed: the names are those kept when the columns were shown.
void MainWindow::rememberWidths() {
    const int n = std::min(mModel->columnCount(), static_cast<int>(mWidthsColumns.size()));
    if (mWidthsTable.empty() || n == 0)
        return;
    std::vector<core::ColumnWidth> widths;
    for (int c = 0; c < n; ++c)
        widths.push_back({mWidthsColumns[static_cast<std::size_t>(c)], mGrid->columnWidth(c)});
    mDesk.setWidths(mWidthsTable, std::move(widths));
}

void MainWindow::applyWidths() {
    mWidthsTable = mModel->columnCount() > 0 ? mWs.TableName : std::string();
    mWidthsColumns.clear();
    for (int c = 0; c < mModel->columnCount() && c < mWs.view.fieldCount(); ++c)
        mWidthsColumns.push_back(mWs.view.field(c).name);
    const std::vector<core::ColumnWidth>* widths = mDesk.widthsOf(mWidthsTable);
    if (!widths) {
        fitColumnsFirstTime();
        return;
    }
    for (const auto& w : *widths) {
        const int c = mWs.view.findField(w.column);
        if (c >= 0 && c < mModel->columnCount())
            mGrid->setColumnWidth(c, w.width);
    }
}

// A table shown for the first time: the content column wide enough for its
// answers, the score columns of questions the table has narrow, and those
// of questions it does not have narrower still.
void MainWindow::fitColumnsFirstTime() {
    const QFontMetrics metrics(mGrid->font());
    const int padding = 2 * metrics.horizontalAdvance(' ') + 8;
    const int content = mWs.view.findField(mWs.Fields.Content);
    // The questions as the first sheets show them; the table's question
    // count is not known yet while the view is shown anew.
    int questions = 0;
    for (int r = 0; content >= 0 && r < std::min(mModel->rowCount(), 200); ++r)
        questions = std::max(
            questions,
            static_cast<int>(mModel->index(r, content).data().toString().trimmed().size()));
    if (content >= 0 && content < mModel->columnCount())
        mGrid->setColumnWidth(
            content, metrics.horizontalAdvance(QString(std::max(questions, 10), '8')) + padding);
    for (int c = 0; c < mModel->columnCount() && c < mWs.view.fieldCount(); ++c) {
        const std::string name = mWs.view.field(c).name;
        if (name.size() < 2 || name.size() > 4 || (name[0] != 'f' && name[0] != 'F') ||
            name.find_first_not_of("0123456789", 1) != std::string::npos)
            continue;
        const int question = std::stoi(name.substr(1));
        mGrid->setColumnWidth(c, question <= questions
                                     ? metrics.horizontalAdvance("f105 ") + padding
                                     : metrics.horizontalAdvance("f1") + 4);
    }
}

void MainWindow::restorePlace() {
    mDesk = core::LoadWindowState(mWs.configFile());
    fillRecent();
    const auto& place = mDesk.place;
    if (!place) { // the first start takes most of the screen
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect available = screen->availableGeometry();
            resize(std::max(minimumWidth(), available.width() * 4 / 5),
                   std::max(minimumHeight(), available.height() * 4 / 5));
            move(available.center() - QPoint(width() / 2, height() / 2));
        }
        return;
    }
    resize(std::max(place->width, minimumWidth()), std::max(place->height, minimumHeight()));
    if (OnAScreen(QRect(place->x, place->y, width(), height())))
        move(place->x, place->y);
    if (place->maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::saveDeskState() {
    rememberWidths();
    const bool maximized = isMaximized();
    const QRect normal = maximized ? normalGeometry() : QRect(pos(), size());
    mDesk.place =
        core::WindowPlace{normal.x(), normal.y(), normal.width(), normal.height(), maximized};
    (void)core::SaveWindowState(mWs.configFile(), mDesk); // a read-only home keeps the last run's
}

void MainWindow::rememberRecent(const QString& file) {
    core::AddRecent(mDesk.recent, QFileInfo(file).absoluteFilePath().toStdString());
    SaveRecent(mWs, mDesk.recent);
    fillRecent();
}

void MainWindow::fillRecent() {
    mRecentMenu->clear();
    if (mDesk.recent.empty()) {
        QAction* none = mRecentMenu->addAction("    (空)");
        none->setObjectName("nRecentNone");
        none->setEnabled(false);
        return;
    }
    int n = 0;
    for (const std::string& file : mDesk.recent) {
        const QString path = QString::fromStdString(file);
        QAction* a = mRecentMenu->addAction(QString("&%1 %2").arg(++n).arg(path));
        a->setObjectName(QString("nRecent%1").arg(n));
        a->setData(path);
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
}

void MainWindow::openRecent(const QString& file) {
    if (!QFileInfo::exists(file)) {
        core::RemoveRecent(mDesk.recent, file.toStdString());
        SaveRecent(mWs, mDesk.recent);
        fillRecent();
        mUi->message("找不到文件 " + file.toStdString() + "，已把它从“最近打开”中去掉。",
                     "打开文件", core::Icon::Warning);
        return;
    }
    mLastTable = file;
    openAnswerTable(file);
}

} // namespace app::forms
