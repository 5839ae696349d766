#include "scan/ScanDatabase.h"

#include "platform/db/Statement.h"
#include "platform/text/TemporaryName.h"

#include <cstdio>

namespace scan {
namespace {

constexpr int kFormat = 1;

constexpr const char* kSchema[] = {
    "CREATE TABLE scan_table(name TEXT NOT NULL, dbf TEXT NOT NULL, sha256 TEXT NOT NULL,"
    " format INTEGER NOT NULL, written TEXT NOT NULL)",
    "CREATE TABLE scan_pages(page INTEGER PRIMARY KEY, source TEXT NOT NULL, file TEXT NOT NULL,"
    " file_page INTEGER NOT NULL, layout TEXT, layout_revision INTEGER, layout_page INTEGER,"
    " turn INTEGER, marks INTEGER, residual REAL, paper REAL, black REAL, threshold REAL,"
    " status TEXT NOT NULL, failure TEXT, problem TEXT, reasons TEXT, exam_number TEXT,"
    " record INTEGER)",
    "CREATE TABLE scan_items(page INTEGER NOT NULL, item TEXT NOT NULL, question INTEGER NOT NULL,"
    " reading TEXT NOT NULL, doubts TEXT NOT NULL, PRIMARY KEY(page, item))",
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

void ScanDatabaseWriter::addPage(std::size_t index, const PageReading& page) {
    auto p = mDb.prepare("INSERT INTO scan_pages(page, source, file, file_page, layout,"
                         " layout_revision, layout_page, turn, marks, residual, paper, black,"
                         " threshold, status, failure, problem)"
                         " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    const auto n = static_cast<std::int64_t>(index);
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
    p.step();

    auto item = mDb.prepare("INSERT INTO scan_items VALUES(?,?,?,?,?)");
    auto bubble = mDb.prepare("INSERT INTO scan_bubbles VALUES(?,?,?,?,?,?)");
    auto addItem = [&](const ItemReading& it) {
        std::string doubts;
        for (Doubt d : it.doubts)
            doubts += (doubts.empty() ? "" : " ") + std::string(DoubtText(d));
        item.reset();
        item.bind(1, n);
        item.bindText(2, it.label);
        item.bind(3, std::int64_t{it.question});
        item.bindText(4, it.reading);
        item.bindText(5, doubts);
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
        addItem(d);
    for (const auto& q : page.questions)
        addItem(q);
    if (++mPending >= 256) {
        mDb.commit();
        mDb.begin();
        mPending = 0;
    }
}

void ScanDatabaseWriter::finish(const ScanStack& stack, const std::string& table,
                                const std::string& dbfName, const std::string& sha256) {
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
                            "%H:%M:%S', 'now', 'localtime'))");
    info.bindText(1, table);
    info.bindText(2, dbfName);
    info.bindText(3, sha256);
    info.bind(4, std::int64_t{kFormat});
    info.step();
    mDb.commit();
    mDb.close();
    if (std::rename(mTemp.c_str(), mFile.c_str()) != 0)
        throw std::runtime_error("不能写入文件 " + mFile.string());
    mFinished = true;
}

} // namespace scan
