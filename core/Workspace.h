#pragma once

#include "core/Config.h"
#include "platform/db/Connection.h"
#include "platform/db/Query.h"

#include <filesystem>
#include <string>
#include <vector>

namespace core {

// The process-wide state the commands share: the connection to the scratch
// database data.mdb, the table view, the field-name settings, the opened
// table's name and question count. One per process; the window, the command
// line and the tests each make their own and hand it to every command, which
// returns what it did for the front end to show.
class Workspace {
  public:
    // `home` is the program folder: data.mdb, config.ini, reports, logs.
    explicit Workspace(std::filesystem::path home);
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    [[nodiscard]] const std::filesystem::path& home() const { return mHome; }
    [[nodiscard]] std::filesystem::path dataFile() const { return mHome / "data.mdb"; }
    [[nodiscard]] std::filesystem::path configFile() const { return mHome / "config.ini"; }
    // A file of the program folder (reports, logs).
    [[nodiscard]] std::filesystem::path file(const std::string& name) const { return mHome / name; }

    // Opens connection on data.mdb when it is not open.
    void connect();

    // The start-up steps that need no window: data.mdb created when it is
    // missing, the connection closed, config.ini loaded. Throws when the
    // database cannot be created; the configuration is then not loaded.
    void startUp();

    // True when the database library can run every statement the program
    // uses (the system's database check at start-up).
    [[nodiscard]] static bool DatabaseUsable();

    db::Connection connection;
    db::Query view{connection}; // the opened table as the grid shows it

    FieldSettings Fields;
    std::string TableName;
    int QuestionCount = 0;

  private:
    std::filesystem::path mHome;
};

} // namespace core
