#include "roster/CellText.h"
#include "roster/Error.h"
#include "roster/Readers.h"

#include "platform/db/Dbf.h"
#include "platform/db/Error.h"

#include <variant>

namespace roster {
namespace {

std::string CellOf(const db::Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v))
        return FormatNumber(*d);
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return {};
}

} // namespace

TextRows ReadDbfList(const std::filesystem::path& file) {
    std::unique_ptr<db::Dbf> dbf;
    try {
        dbf = std::make_unique<db::Dbf>(file);
    } catch (const db::Error& e) {
        throw Error(ListProblem(file, e.what()));
    }
    TextRows rows;
    TextRow heading;
    for (const auto& f : dbf->fields())
        heading.push_back(f.name);
    rows.push_back(std::move(heading));
    std::string record;
    try {
        for (std::uint32_t i = 0; i < dbf->recordCount(); ++i) {
            if (!dbf->readRecord(i, record))
                continue; // deleted
            TextRow row;
            for (std::size_t f = 0; f < dbf->fields().size(); ++f)
                row.push_back(CellOf(dbf->value(record, f)));
            rows.push_back(std::move(row));
        }
    } catch (const db::Error& e) {
        throw Error(ListProblem(file, e.what()));
    }
    return rows;
}

} // namespace roster
