#include "core/Workspace.h"

#include <sqlite3.h>

namespace core {

Workspace::Workspace(std::filesystem::path home) : mHome(std::move(home)) {}

Workspace::~Workspace() {
    ADOQuery2.close();
    aqy2.close();
    adt.close();
    ADOConnection2.close();
}

void Workspace::connect() {
    if (!ADOConnection2.isOpen())
        ADOConnection2.open(dataFile());
}

void Workspace::startUp() {
    std::error_code ec;
    if (!std::filesystem::exists(dataFile(), ec))
        db::Connection::CreateDatabase(dataFile());
    ADOConnection2.close();
    LoadConfig(configFile(), Fields);
}

bool Workspace::DatabaseUsable() {
    // UPDATE ... FROM, which the class statistics need, came with 3.33.
    return sqlite3_libversion_number() >= 3033000;
}

} // namespace core
