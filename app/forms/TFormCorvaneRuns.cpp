// The main window's items that work from the open table's last scoring run.
#include "app/forms/TFormCorvane.h"

#include "app/forms/Guard.h"
#include "scoring/RunLog.h"
#include "scoring/forms/AnswerKeyPanels.h"

#include <QAction>

namespace app::forms {

void TFormCorvane::updateRunItems() {
    bool hasRun = false;
    if (mWs.view.isOpen() && !mWs.TableName.empty()) {
        try {
            hasRun = scoring::LastRun(mWs.connection, mWs.TableName).has_value();
        } catch (const std::exception&) {
            hasRun = false; // a database that cannot say so offers no run
        }
    }
    nLoadLastRun->setEnabled(hasRun);
    nAnalysis->setEnabled(hasRun);
    hideOtherTablesAnalysis(hasRun);
}

void TFormCorvane::nLoadLastRunClick() {
    Guarded(this, [&] {
        const auto run = scoring::LastRun(mWs.connection, mWs.TableName);
        if (!run) {
            mUi->message("这个表还没有评过分，没有可载入的答案。", core::Title(mWs),
                         core::Icon::Information);
            return;
        }
        Panels->fill(run->settings);
    });
}

} // namespace app::forms
