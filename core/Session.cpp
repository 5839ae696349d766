#include "core/Session.h"

#include "core/OpenTable.h"
#include "platform/os/Folders.h"

namespace core {

void StartUp(Workspace& ws, Ui& ui) {
    os::RemoveStaleProcessTempFolders();
    os::RemoveStaleTemporaryFiles(ws.home());
    ws.startUp();
    for (const auto& problem : ConfigProblems(ws.configFile()))
        ui.message(problem, Title(ws), Icon::Warning);
    if (!Workspace::DatabaseUsable())
        ui.message(
            "检测到系统没有安装ADO驱动，请到微软网站下载MDAC组件并安装之后才能正常使用本软件。",
            Title(ws), Icon::Error);
}

} // namespace core
