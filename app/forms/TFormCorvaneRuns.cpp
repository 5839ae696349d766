// The main window's items that work from the open table's last scoring run.
#include "app/forms/TFormCorvane.h"

#include "analysis/TableAnalysis.h"
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
}

void TFormCorvane::nLoadLastRunClick() {
    Guarded(this, [&] {
        const auto run = scoring::LastRun(mWs.connection, mWs.TableName);
        if (!run) {
            mUi->message("这个表还没有评过分，没有可载入的答案。", core::Title(mWs),
                         core::Icon::Information);
            return;
        }
        Panels->Fill(run->settings);
    });
}

void TFormCorvane::nAnalysisClick() {
    Guarded(this, [&] {
        analysis::TableAnalysisResult result;
        {
            BusyCursor busy;
            result = analysis::AnalyzeTable(mWs, *mUi, {});
        }
        if (result.outcome == core::Outcome::Done)
            mShell->open(result.report.string());
    });
}

} // namespace app::forms
