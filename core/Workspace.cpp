#include "core/Workspace.h"

namespace core {

Workspace::Workspace(std::filesystem::path home) : mHome(std::move(home)) {}

Workspace::~Workspace() {
    view.close();
    connection.close();
}

void Workspace::connect() {
    if (!connection.isOpen())
        connection.open(dataFile());
    if (connection.dbfCodePage() != Fields.CodePage)
        connection.setDbfCodePage(Fields.CodePage);
}

void Workspace::startUp() {
    std::error_code ec;
    if (!std::filesystem::exists(dataFile(), ec))
        db::Connection::CreateDatabase(dataFile());
    connection.close();
    LoadConfig(configFile(), Fields);
}

bool Workspace::DatabaseUsable() {
    // UPDATE ... FROM, which the class statistics need, came with 3.33.
    return db::Connection::LibraryVersion() >= 3033000;
}

} // namespace core
