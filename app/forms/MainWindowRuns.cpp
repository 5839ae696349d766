// The main window's items that work from the open table's last scoring run.
#include "app/forms/MainWindow.h"

#include "app/forms/Guard.h"
#include "scoring/RunLog.h"
#include "scoring/forms/AnswerKeyPanels.h"

#include <QAction>

namespace app::forms {

void MainWindow::updateRunItems() {
    bool hasRun = false;
    if (mWs.view.isOpen() && !mWs.TableName.empty()) {
        try {
            hasRun = scoring::LastRun(mWs.connection, mWs.TableName).has_value();
        } catch (const std::exception&) {
            hasRun = false; // a database that cannot say so offers no run
        }
    }
    mLoadLastRunItem->setEnabled(hasRun);
    mAnalysisItem->setEnabled(hasRun);
    hideOtherTablesAnalysis(hasRun);
}

void MainWindow::loadLastRun() {
    Guarded(this, [&] {
        const auto run = scoring::LastRun(mWs.connection, mWs.TableName);
        if (!run) {
            mUi->message("这个表还没有评过分，没有可载入的答案。", core::Title(mWs),
                         core::Icon::Information);
            return;
        }
        mAnswerKeys->fill(run->settings);
    });
}

} // namespace app::forms
