#include "scan/ScanDatabase.h"

#include "platform/db/Statement.h"
#include "platform/text/TemporaryName.h"

#include <array>
#include <cstdio>

namespace scan {
namespace {

constexpr const char* kSchema[] = {
    "CREATE TABLE scan_table(name TEXT NOT NULL, dbf TEXT NOT NULL, sha256 TEXT NOT NULL,"
    " format INTEGER NOT NULL, written TEXT NOT NULL, subject TEXT NOT NULL,"
    " questions INTEGER NOT NULL, id_width INTEGER NOT NULL,"
    " sensitivity INTEGER NOT NULL DEFAULT 5)",
    "CREATE TABLE scan_layouts(id TEXT NOT NULL, revision INTEGER NOT NULL, json TEXT NOT NULL,"
    " PRIMARY KEY(id, revision))",
    "CREATE TABLE scan_pages(page INTEGER PRIMARY KEY, source TEXT NOT NULL, file TEXT NOT NULL,"
    " file_page INTEGER NOT NULL, layout TEXT, layout_revision INTEGER, layout_page INTEGER,"
    " turn INTEGER, marks INTEGER, residual REAL, paper REAL, black REAL, threshold REAL,"
    " status TEXT NOT NULL, failure TEXT, problem TEXT, reasons TEXT, exam_number TEXT,"
    " record INTEGER, to_picture TEXT, no_clear_groups INTEGER NOT NULL DEFAULT 0)",
    // The pictures of the items to review, cut out as the pages were read;
    // frames: "left,top,width,height" per bubble, separated by blanks.
    "CREATE TABLE scan_pictures(page INTEGER NOT NULL, item TEXT NOT NULL, png BLOB NOT NULL,"
    " frames TEXT NOT NULL, PRIMARY KEY(page, item))",
    // field_only: a template's field that is neither a question nor a digit
    // of the exam number (the CSV only); its question is 0 for a digit field.
    "CREATE TABLE scan_items(page INTEGER NOT NULL, item TEXT NOT NULL, question INTEGER NOT NULL,"
    " reading TEXT NOT NULL, doubts TEXT NOT NULL, field_only INTEGER NOT NULL DEFAULT 0,"
    " PRIMARY KEY(page, item))",
    "CREATE TABLE scan_bubbles(page INTEGER NOT NULL, item TEXT NOT NULL, bubble INTEGER NOT NULL,"
    " value TEXT NOT NULL, darkness REAL NOT NULL, marked INTEGER NOT NULL,"
    " PRIMARY KEY(page, item, bubble))",
    // Filled by the review: one row per decision made by hand.
    "CREATE TABLE scan_decisions(id INTEGER PRIMARY KEY, page INTEGER NOT NULL,"
    " item TEXT NOT NULL, old_reading TEXT, new_reading TEXT NOT NULL, decided TEXT NOT NULL,"
    " undone INTEGER NOT NULL DEFAULT 0)",
};

std::string StatusWord(PageStatus status) {
    return StatusText(status, Failure::None);
}

std::string MatrixText(const std::array<double, 9>& m) {
    if (m == std::array<double, 9>{})
        return {};
    std::string text;
    char number[40];
    for (double v : m) {
        std::snprintf(number, sizeof number, "%.9g", v);
        text += (text.empty() ? "" : " ") + std::string(number);
    }
    return text;
}

} // namespace

std::filesystem::path ScanDatabaseOf(const std::filesystem::path& dbf) {
    std::filesystem::path file = dbf;
    return file.replace_extension(".scan.db");
}

long long ReviewDecisions(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return 0;
    db::Connection c;
    c.open(file);
    if (!c.hasTable("scan_decisions"))
        return 0;
    auto st = c.prepare("SELECT count(*) FROM scan_decisions");
    return st.step() ? st.columnInt(0) : 0;
}

ScanDatabaseWriter::ScanDatabaseWriter(const std::filesystem::path& file)
    : mFile(file), mTemp(text::TemporaryBeside(file)) {
    db::Connection::CreateDatabase(mTemp);
    mDb.open(mTemp);
    for (const char* statement : kSchema)
        mDb.prepare(statement).step();
    mDb.begin();
}

ScanDatabaseWriter::~ScanDatabaseWriter() {
    if (mFinished)
        return;
    try {
        if (mDb.inTransaction())
            mDb.rollback();
        mDb.close();
    } catch (...) { // NOLINT(bugprone-empty-catch): the file goes anyway
    }
    std::remove(mTemp.c_str());
}

void ForgetPageItems(db::Connection& c, std::size_t index) {
    for (const char* table : {"scan_items", "scan_bubbles", "scan_pictures"}) {
        auto gone = c.prepare(std::string("DELETE FROM ") + table + " WHERE page = ?");
        gone.bind(1, static_cast<std::int64_t>(index));
        gone.step();
    }
}

void StorePage(db::Connection& c, std::size_t index, const PageReading& page, bool replace) {
    const auto n = static_cast<std::int64_t>(index);
    if (replace)
        ForgetPageItems(c, index);
    auto p = c.prepare(std::string(replace ? "INSERT OR REPLACE" : "INSERT") +
                       " INTO scan_pages(page, source, file, file_page, layout,"
                       " layout_revision, layout_page, turn, marks, residual, paper, black,"
                       " threshold, status, failure, problem, to_picture, no_clear_groups)"
                       " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    p.bind(1, n);
    p.bindText(2, SourceText(page.source));
    p.bindText(3, page.source.file.string());
    p.bind(4, std::int64_t{page.source.page});
    if (!page.layoutId.empty()) {
        p.bindText(5, page.layoutId);
        p.bind(6, std::int64_t{page.layoutRevision});
        p.bind(7, std::int64_t{page.layoutPage});
    }
    p.bind(8, std::int64_t{page.turn});
    p.bind(9, std::int64_t{page.marksFound});
    p.bind(10, page.residual);
    p.bind(11, page.paper);
    p.bind(12, page.black);
    p.bind(13, page.threshold);
    p.bindText(14, StatusWord(page.status));
    p.bindText(15, FailureText(page.failure));
    p.bindText(16, page.problem);
    if (auto m = MatrixText(page.toPicture); !m.empty())
        p.bindText(17, m);
    p.bind(18, std::int64_t{page.noClearGroups ? 1 : 0});
    p.step();

    auto item = c.prepare("INSERT INTO scan_items VALUES(?,?,?,?,?,?)");
    auto bubble = c.prepare("INSERT INTO scan_bubbles VALUES(?,?,?,?,?,?)");
    auto addItem = [&](const ItemReading& it, bool fieldOnly) {
        std::string doubts;
        for (Doubt d : it.doubts)
            doubts += (doubts.empty() ? "" : " ") + std::string(DoubtText(d));
        item.reset();
        item.bind(1, n);
        item.bindText(2, it.label);
        item.bind(3, std::int64_t{it.question});
        item.bindText(4, it.reading);
        item.bindText(5, doubts);
        item.bind(6, std::int64_t{fieldOnly ? 1 : 0});
        item.step();
        for (std::size_t b = 0; b < it.bubbles.size(); ++b) {
            bubble.reset();
            bubble.bind(1, n);
            bubble.bindText(2, it.label);
            bubble.bind(3, static_cast<std::int64_t>(b));
            bubble.bindText(4, it.bubbles[b].value);
            bubble.bind(5, it.bubbles[b].darkness);
            bubble.bind(6, std::int64_t{it.bubbles[b].marked ? 1 : 0});
            bubble.step();
        }
    };
    for (const auto& d : page.digits)
        addItem(d, false);
    for (const auto& q : page.questions)
        addItem(q, false);
    for (const auto& f : page.fieldsOnly)
        addItem(f, true);
    auto picture = c.prepare("INSERT OR REPLACE INTO scan_pictures VALUES(?,?,?,?)");
    for (const ItemPicture& it : page.pictures) {
        std::string frames;
        for (const auto& f : it.frames)
            frames += (frames.empty() ? "" : " ") + std::to_string(f[0]) + "," +
                      std::to_string(f[1]) + "," + std::to_string(f[2]) + "," +
                      std::to_string(f[3]);
        picture.reset();
        picture.bind(1, n);
        picture.bindText(2, it.label);
        picture.bindBlob(3, it.png);
        picture.bindText(4, frames);
        picture.step();
    }
}

void ScanDatabaseWriter::addPage(std::size_t index, const PageReading& page) {
    StorePage(mDb, index, page);
    if (++mPending >= 256) {
        mDb.commit();
        mDb.begin();
        mPending = 0;
    }
}

void ScanDatabaseWriter::addLayouts(const std::vector<Layout>& layouts) {
    auto st = mDb.prepare("INSERT OR REPLACE INTO scan_layouts VALUES(?,?,?)");
    for (const Layout& l : layouts) {
        st.reset();
        st.bindText(1, l.id);
        st.bind(2, std::int64_t{l.revision});
        st.bindText(3, LayoutJson(l));
        st.step();
    }
}

void ScanDatabaseWriter::finish(const ScanStack& stack, const TableFacts& table) {
    auto update = mDb.prepare("UPDATE scan_pages SET status = ?, reasons = ?, exam_number = ?, "
                              "record = ? WHERE page = ?");
    for (std::size_t i = 0; i < stack.pages().size(); ++i) {
        update.reset();
        const PageSummary& p = stack.pages()[i];
        update.bindText(1, StatusText(p.status, p.failure));
        update.bindText(2, stack.reasons(i));
        update.bindText(3, stack.examNumber(i));
        if (stack.recordOf(i) >= 0)
            update.bind(4, std::int64_t{stack.recordOf(i) + 1});
        else
            update.bind(4, db::Value{});
        update.bind(5, static_cast<std::int64_t>(i));
        update.step();
    }
    auto info = mDb.prepare("INSERT INTO scan_table VALUES(?, ?, ?, ?, strftime('%Y-%m-%d "
                            "%H:%M:%S', 'now', 'localtime'), ?, ?, ?, 5)");
    info.bindText(1, table.name);
    info.bindText(2, table.dbfName);
    info.bindText(3, table.sha256);
    info.bind(4, std::int64_t{kScanDatabaseFormat});
    info.bindText(5, table.subject);
    info.bind(6, std::int64_t{table.questions});
    info.bind(7, std::int64_t{table.idWidth});
    info.step();
    mDb.commit();
    mDb.close();
    if (std::rename(mTemp.c_str(), mFile.c_str()) != 0)
        throw std::runtime_error("不能写入文件 " + mFile.string());
    mFinished = true;
}

} // namespace scan
