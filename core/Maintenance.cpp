#include "core/Maintenance.h"

#include "core/AppError.h"
#include "core/OpenTable.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace core {

void AddScoreFieldCheck(Workspace& ws, Ui& ui) {
    if (!ws.view.isOpen()) {
        ui.message("请先打开卷面数据库DBF文件。", Title(ws), Icon::Information);
        return;
    }
    if (ws.view.hasField(ws.Fields.Score))
        ui.message("已有分数字段 " + ws.Fields.Score, Title(ws), Icon::Information);
}

void RepairDbfIndex(const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw AppError("不能打开文件 " + file.string() + ": " + std::strerror(errno));
    const unsigned char zero = 0;
    off_t size = ::lseek(fd, 0, SEEK_END);
    int err = 0;
    if (size >= 0 && size < 32) {
        ::close(fd);
        throw AppError("文件太短，不是 dBase 数据表: " + file.string());
    }
    if (size < 0 || ::pwrite(fd, &zero, 1, 28) != 1)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (err)
        throw AppError("不能写入文件 " + file.string() + ": " + std::strerror(err));
}

} // namespace core
