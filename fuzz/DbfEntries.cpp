#include "fuzz/Entries.h"
#include "fuzz/Scratch.h"
#include "platform/db/Connection.h"
#include "platform/db/Dbf.h"
#include "platform/db/Error.h"

#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fuzzing {
namespace {

std::uint64_t Le(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// The input split into a table and its memo file: the memo file starts after
// the records the header states and the byte that follows them.
struct Split {
    std::string_view table;
    std::string_view memo;
    int codePage = 0;
};

Split SplitInput(const std::uint8_t* data, std::size_t size) {
    static const int kCodePages[] = {0, 0, 0, 0, 936, 1252, 1255, 866};
    Split s;
    s.table = std::string_view(reinterpret_cast<const char*>(data), size);
    if (size > 30)
        s.codePage = kCodePages[data[30] % 8];
    if (size >= 12) {
        const std::uint64_t end = Le(data + 8, 2) + Le(data + 4, 4) * Le(data + 10, 2) + 1;
        if (end < size)
            s.memo = s.table.substr(end);
    }
    return s;
}

bool FoxProVersion(std::string_view table) {
    if (table.empty())
        return false;
    const auto v = static_cast<unsigned char>(table[0]);
    return v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xE5;
}

void ReadEveryValue(const db::Dbf& dbf) {
    std::string record;
    for (std::uint32_t i = 0; i < dbf.recordCount(); ++i) {
        dbf.readRecord(i, record);
        for (std::size_t f = 0; f < dbf.fields().size(); ++f) {
            try {
                (void)dbf.value(record, f);
            } catch (const db::Error&) {
                // a memo block outside the memo file: that value is refused
            }
        }
    }
}

void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

// The scratch database of the import target and the folder its tables are
// written to, made once per process.
struct ImportScene {
    std::filesystem::path folder = ScratchFolder() / "tables";
    db::Connection connection;

    ImportScene() {
        std::filesystem::create_directories(folder);
        const auto file = ScratchFolder() / "data.mdb";
        db::Connection::CreateDatabase(file);
        connection.open(file);
        // Every import is rolled back: no journal on the disk.
        connection.execute("PRAGMA journal_mode = MEMORY");
    }

    void writeTable(const Split& s) {
        WriteFile(folder / "fuzz.dbf", s.table);
        const bool fox = FoxProVersion(s.table);
        std::error_code ec;
        std::filesystem::remove(folder / (fox ? "fuzz.dbt" : "fuzz.fpt"), ec);
        if (s.memo.empty())
            std::filesystem::remove(folder / (fox ? "fuzz.fpt" : "fuzz.dbt"), ec);
        else
            WriteFile(folder / (fox ? "fuzz.fpt" : "fuzz.dbt"), s.memo);
    }
};

} // namespace

int ReadDbf(const std::uint8_t* data, std::size_t size) {
    const Split s = SplitInput(data, size);
    try {
        db::DbfOptions options;
        options.codePage = s.codePage;
        std::unique_ptr<db::DbfSource> memo;
        if (!s.memo.empty())
            memo = db::MemorySource(std::string(s.memo));
        db::Dbf dbf(db::MemorySource(std::string(s.table)), "fuzz.dbf", options, std::move(memo));
        ReadEveryValue(dbf);
        (void)dbf.createTableSql("\"t\"");
        (void)dbf.report().notes();
    } catch (const db::Error&) {
        // a damaged table, refused with its reason
    }
    return 0;
}

int ImportDbf(const std::uint8_t* data, std::size_t size) {
    static ImportScene scene;
    const Split s = SplitInput(data, size);
    scene.writeTable(s);
    db::Connection& c = scene.connection;
    c.setDbfCodePage(s.codePage);
    {
        db::Transaction rolledBack(c);
        try {
            c.execute("select * into t from fuzz in \"" + scene.folder.string() +
                      "\" \"dbase 5.0;\"");
            (void)c.select("select count(*) from t");
        } catch (const db::Error&) {
            // a damaged table, refused with its reason and nothing imported
        }
    }
    (void)c.takeImportNotes();
    return 0;
}

} // namespace fuzzing
