#include "tests/support/DatabaseDump.h"

#include "platform/db/Query.h"
#include "platform/db/Statement.h"
#include "tests/support/TempHome.h"

#include <cinttypes>
#include <cstdio>
#include <regex>
#include <vector>

namespace testsupport {
namespace {

std::string ValueText(const db::Value& v) {
    if (db::IsNull(v))
        return "NULL";
    char buffer[64] = "";
    if (const auto* d = std::get_if<double>(&v))
        std::snprintf(buffer, sizeof buffer, "%a", *d);
    else if (const auto* n = std::get_if<std::int64_t>(&v))
        std::snprintf(buffer, sizeof buffer, "%" PRId64, *n);
    return buffer[0] ? buffer : db::Query::ToText(v);
}

} // namespace

std::string DumpDatabase(db::Connection& c, const DumpChoice& choice) {
    std::vector<std::string> tables;
    db::Statement list = c.prepare("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                   "sql NOT LIKE 'CREATE VIRTUAL%' ORDER BY name");
    while (list.step()) {
        const std::string name = db::Query::ToText(list.column(0));
        if (name != "t" && name != "t2" && name != "temp" && name != "zonghe" &&
            (choice.only.empty() || name == choice.only))
            tables.push_back(name);
    }
    std::string out;
    for (const std::string& t : tables) {
        const bool runs = t == "quillory_runs";
        const bool sources = t == "quillory_sources";
        db::Statement rows = c.prepare("SELECT * FROM \"" + t + "\" ORDER BY rowid" +
                                       (runs && choice.lastRun ? " DESC LIMIT 1" : ""));
        out += "table " + t + "\n";
        while (rows.step()) {
            for (int i = 0; i < rows.columnCount(); ++i) {
                const std::string name = rows.columnName(i);
                if ((runs && (name == "id" || name == "run_time")) ||
                    (sources && name == "imported"))
                    continue;
                if (sources && name == "imported") // the time of day of the import
                    continue;
                out += name + "=" + ValueText(rows.column(i)) + ";";
            }
            out += "\n";
        }
    }
    return out;
}

std::string DumpDatabase(const std::filesystem::path& mdb, const DumpChoice& choice) {
    db::Connection c;
    c.open(mdb);
    return DumpDatabase(c, choice);
}

std::map<std::string, std::string> HomeFiles(const std::filesystem::path& home) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(home))
        if (e.is_regular_file() && e.path().filename().string().rfind("data.mdb", 0) != 0)
            files[e.path().filename().string()] = ReadBytes(e.path());
    return files;
}

std::string WithoutTimes(const std::string& log) {
    static const std::regex time(R"(\d+/\d+/\d+ \d+:\d+:\d+)");
    return std::regex_replace(log, time, "TIME");
}

} // namespace testsupport
