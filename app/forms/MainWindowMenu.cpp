// The main window's menu: "文件", "帮助" and the items that are never shown.
// The view menu and the recent tables are the desk's.
#include "app/forms/MainWindow.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include <string>
#include <utility>

namespace app::forms {

QAction* MainWindow::item(QMenu* menu, const char* name, const QString& caption,
                          void (MainWindow::*handler)()) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
}

void MainWindow::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    mFileMenu = bar->addMenu("文件");
    mFileMenu->setObjectName("N1");
    buildFileMenu(mFileMenu);
    mHelpMenu = bar->addMenu("帮助");
    mHelpMenu->setObjectName("N4");
    buildHelpMenu(mHelpMenu);
}

void MainWindow::buildFileMenu(QMenu* menu) {
    QAction* open = item(menu, "OpenDbf", "打开DBF表...", &MainWindow::openTable);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mImportRosterItem = item(menu, "nImportRoster", "导入学生名单...", &MainWindow::importRoster);
    item(menu, "nDesignSheet", "设计答题卡...", &MainWindow::designSheet);
    item(menu, "nScanSheets", "扫描答题卡...", &MainWindow::scanSheets);
    item(menu, "nReviewScan", "扫描复核...", &MainWindow::reviewScans);
    item(menu, "nAddScoreField", "添加分数字段", &MainWindow::addScoreField)->setVisible(false);
    mFieldNamesItem = item(menu, "SetField", "设置字段名...", &MainWindow::editFieldNames);
    mFieldNamesItem->setData(0);
    mScoreItem = item(menu, "CorVane", "开始评分", &MainWindow::score);
    mScoreItem->setShortcut(QKeySequence(Qt::Key_F9));
    mLoadLastRunItem = item(menu, "nLoadLastRun", "载入上次的答案", &MainWindow::loadLastRun);
    mAnalysisItem = item(menu, "nAnalysis", "试卷分析...", &MainWindow::showExamAnalysis);
    updateRunItems();
    QAction* classes = item(menu, "N13", "分班统计...", &MainWindow::classStatistics);
    classes->setShortcut(QKeySequence(Qt::Key_F10));
    item(menu, "nResults", "成绩分析...", &MainWindow::writeResults);
    menu->addSeparator()->setObjectName("N6");
    item(menu, "nExcel", "生成报表", &MainWindow::writeReport);
    item(menu, "N2", "检查缺漏考号...", &MainWindow::checkMissingNumbers);
    item(menu, "nVerify", "核对考号...", &MainWindow::verifyNumbers);
    QAction* repair =
        item(menu, "RepairDbf", "修理DBF的索引问题...", &MainWindow::repairTableIndex);
    repair->setToolTip("修理index not found问题");
    repair->setVisible(false);
    item(menu, "SQL1", "自定义SQL...", &MainWindow::customSql);
    menu->addSeparator()->setObjectName("N11");
    mSortMenu = menu->addMenu("排序");
    mSortMenu->setObjectName("nSort");
    item(mSortMenu, "N12", "    (空)")->setEnabled(false);
    item(menu, "N3", "取消排序(读卡顺序)", &MainWindow::readingOrder);
    addUnreadChoices(menu);
    menu->addSeparator()->setObjectName("N7");
    item(menu, "N8", "退出", &MainWindow::quit);
    // The shortcuts work wherever the focus is in the window.
    for (QAction* a : {open, mScoreItem, classes})
        a->setShortcutContext(Qt::WindowShortcut);
}

// Two submenus of radio items that no command reads; never shown.
void MainWindow::addUnreadChoices(QMenu* menu) {
    QMenu* subject = menu->addMenu("评分科目");
    subject->setObjectName("nSubj");
    subject->menuAction()->setVisible(false);
    auto* subjects = new QActionGroup(this);
    QAction* anySubject = item(subject, "N27", "不分科目");
    anySubject->setCheckable(true);
    anySubject->setChecked(true);
    subjects->addAction(anySubject);
    subject->addSeparator()->setObjectName("N28");
    const char* names[] = {"语文", "英语", "物理", "化学", "政治", "历史", "地理", "生物", "综合"};
    for (int i = 0; i < 9; ++i) {
        QAction* a = item(subject, ("N" + std::to_string(16 + i)).c_str(), names[i]);
        a->setCheckable(true);
        a->setData(i + 1);
        subjects->addAction(a);
    }
    QMenu* type = menu->addMenu("评卷类型");
    type->setObjectName("nType");
    type->menuAction()->setVisible(false);
    auto* types = new QActionGroup(this);
    QAction* anyType = item(type, "AB1", "不分类型");
    anyType->setCheckable(true);
    anyType->setChecked(true);
    types->addAction(anyType);
    type->addSeparator()->setObjectName("N26");
    for (auto [name, caption] : {std::pair{"A1", "A  卷"}, std::pair{"B1", "B  卷"}}) {
        QAction* a = item(type, name, caption);
        a->setCheckable(true);
        types->addAction(a);
    }
}

void MainWindow::buildHelpMenu(QMenu* menu) {
    item(menu, "N5", "帮助", &MainWindow::showHelp);
    item(menu, "N9", "关于...", &MainWindow::showAbout);
    // The batch statistics over survey tables, never shown.
    for (QAction* hidden :
         {item(menu, "EST1", "TEST", &MainWindow::scoreSurveys),
          item(menu, "EST2", "TEST2", &MainWindow::countSurveys), item(menu, "EST31", "TEST3")})
        hidden->setVisible(false);
}

} // namespace app::forms
