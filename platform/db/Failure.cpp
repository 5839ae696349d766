#include "platform/db/Failure.h"

#include <sqlite3.h>

namespace db {

std::string FailureText(sqlite3* db) {
    const int code = sqlite3_extended_errcode(db) & 0xFF;
    const char* file = sqlite3_db_filename(db, "main");
    const std::string where = file && *file ? std::string(file) : std::string("data.mdb");
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return "数据库 " + where +
               " 正被另一个程序使用，等待 30 秒后仍没有释放。请关闭另一个程序后再试。";
    if (code == SQLITE_FULL)
        return "磁盘已满，不能写入数据库 " + where +
               "。请腾出磁盘空间后再试；已经提交的数据不受影响。";
    return sqlite3_errmsg(db);
}

} // namespace db
