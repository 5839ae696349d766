#pragma once

#include "platform/db/Connection.h"

#include <filesystem>
#include <map>
#include <string>

// What a command left behind, in a form two homes can be compared by: the
// scratch database's rows and the home folder's files.
namespace testsupport {

struct DumpChoice {
    std::string only;     // one table only; every table when empty
    bool lastRun = false; // of quillory_runs, the newest row only
};

// Every row of the tables of a scratch database in rowid order, each value
// exactly (doubles by their bits); the recorded runs without their id and
// time, the tables' sources without their import time; not the work tables
// an opening uses (t, t2, temp, zonghe) nor virtual tables.
[[nodiscard]] std::string DumpDatabase(db::Connection& connection, const DumpChoice& choice = {});
[[nodiscard]] std::string DumpDatabase(const std::filesystem::path& mdb,
                                       const DumpChoice& choice = {});

// The files of a home folder other than the scratch database, by name.
[[nodiscard]] std::map<std::string, std::string> HomeFiles(const std::filesystem::path& home);

// A key history with its entries' dates and times as "TIME", which differ
// between two runs.
[[nodiscard]] std::string WithoutTimes(const std::string& log);

} // namespace testsupport
