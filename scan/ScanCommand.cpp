#include "scan/ScanCommand.h"

#include "core/KillPoint.h"
#include "core/OpenTable.h"
#include "platform/db/DbfWriter.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"
#include "scan/Painting.h"
#include "scan/ScanDatabase.h"
#include "scan/ScanPipeline.h"
#include "scan/ScanStack.h"
#include "scan/Template.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <thread>

namespace scan {
namespace {

constexpr const char* kTitle = "扫描答题卡";

// A line naming the page and why it was not read, for stderr and the log.
std::string ProblemLine(const PageSummary& p) {
    std::string line = SourceText(p.source) + ": " + StatusText(p.status, p.failure);
    // The problem often starts with the failure's own words: said once.
    std::string_view problem = p.problem;
    const std::string_view failure = FailureText(p.failure);
    if (!failure.empty() && problem.substr(0, failure.size()) == failure)
        problem.remove_prefix(failure.size());
    const std::string rest = text::Trim(problem.substr(problem.rfind(':', 0) == 0 ? 1 : 0));
    if (!rest.empty())
        line += ": " + rest;
    return line;
}

// The answer table: the five fields of config.ini and SOURCE, a record per
// sheet; written under a temporary name and renamed into place.
void WriteAnswerTable(const std::filesystem::path& file, const core::FieldSettings& fields,
                      const ScanStack& stack, int questions, const std::string& subject) {
    db::DbfTableWriter table(file, AnswerTableFields(fields, stack.idWidth(), questions));
    for (const SheetRecord& r : stack.records())
        table.append({r.id, r.content, r.toReview ? "1" : "", subject, "",
                      SourceText(stack.pages()[r.pages.front()].source)});
    core::KillPoint("scan-before-table");
    table.commit();
}

void WriteCsv(const std::filesystem::path& file, const ScanStack& stack, int questions) {
    std::string text = "file,page,status,review,id";
    for (int q = 1; q <= questions; ++q)
        text += ",q" + std::to_string(q);
    text += "\r\n";
    for (std::size_t i = 0; i < stack.pages().size(); ++i) {
        const PageSummary& p = stack.pages()[i];
        text += CsvField(p.source.file.string()) + "," +
                std::to_string(std::max(p.source.page, 1)) + "," +
                CsvField(StatusText(p.status, p.failure)) + "," + CsvField(stack.reviewLabels(i)) +
                "," + CsvField(stack.examNumber(i));
        for (int q = 0; q < questions; ++q) {
            const char code = static_cast<std::size_t>(q) < p.marks.size()
                                  ? p.marks[static_cast<std::size_t>(q)]
                                  : ' ';
            text += "," + MarkLetters(code);
        }
        text += "\r\n";
    }
    text::WriteWhole(file, text);
}

// The CSV of a stack read with a bubble template: a column per field label
// and per custom label instead of the exam number and the questions.
void WriteTemplateCsv(const std::filesystem::path& file, const ScanStack& stack,
                      const BubbleTemplate& t) {
    std::string text = "file,page,status,review";
    for (const TemplateField& f : t.fields)
        text += "," + CsvField(f.label);
    for (const auto& [name, labels] : t.customLabels)
        text += "," + CsvField(name);
    text += "\r\n";
    const auto valueOf = [](const PageSummary& p, const std::string& label) {
        const auto it = p.fieldValues.find(label);
        return it == p.fieldValues.end() ? std::string() : it->second;
    };
    for (std::size_t i = 0; i < stack.pages().size(); ++i) {
        const PageSummary& p = stack.pages()[i];
        text += CsvField(p.source.file.string()) + "," +
                std::to_string(std::max(p.source.page, 1)) + "," +
                CsvField(StatusText(p.status, p.failure)) + "," + CsvField(stack.reviewLabels(i));
        for (const TemplateField& f : t.fields)
            text += "," + CsvField(valueOf(p, f.label));
        for (const auto& [name, labels] : t.customLabels) {
            std::string joined;
            for (const std::string& l : labels)
                joined += valueOf(p, l);
            text += "," + CsvField(joined);
        }
        text += "\r\n";
    }
    text::WriteWhole(file, text);
}

std::vector<std::string> LogLines(const std::string& table, const ScanStack& stack,
                                  const ScanResult& r) {
    std::vector<std::string> lines{
        "扫描记录 " + table,
        "页数:" + std::to_string(r.pages) + "  记录数:" + std::to_string(r.records) +
            "  ok:" + std::to_string(r.ok) + "  review:" + std::to_string(r.review) +
            "  blank:" + std::to_string(r.blank) + "  duplicate:" + std::to_string(r.duplicates) +
            "  failed:" + std::to_string(r.failed),
        ""};
    for (std::size_t i = 0; i < stack.pages().size(); ++i) {
        const PageSummary& p = stack.pages()[i];
        std::string line = text::LogField(SourceText(p.source)) + "\t" +
                           StatusText(p.status, p.failure) + "\t" +
                           text::LogField(stack.examNumber(i));
        const std::string why = stack.reasons(i);
        if (!why.empty())
            line += "\t" + text::LogField(why);
        lines.push_back(line);
    }
    return lines;
}

void Count(ScanResult& r, const ScanStack& stack) {
    r.pages = stack.pages().size();
    r.records = stack.records().size();
    for (const auto& p : stack.pages()) {
        switch (p.status) {
        case PageStatus::Ok:
            ++r.ok;
            break;
        case PageStatus::Review:
            ++r.review;
            break;
        case PageStatus::Blank:
            ++r.blank;
            break;
        case PageStatus::Duplicate:
            ++r.duplicates;
            break;
        case PageStatus::Failed:
            ++r.failed;
            break;
        }
    }
}

// The input's pages as far as known from the pages the files opened so far
// gave: every file's once all were opened, else the files still to open
// counted at the same pages per file.
void EstimatePages(ScanProgress& now, std::size_t given) {
    now.totalKnown = now.files >= now.filesTotal;
    std::size_t total = given;
    if (!now.totalKnown)
        total =
            now.files == 0 ? now.filesTotal : (given * now.filesTotal + now.files - 1) / now.files;
    now.pagesTotal = std::max({total, given, now.pages});
}

// A refusal before any page is read: said, logged, and the scan stopped. A
// bubble template that does not load writes nothing at all.
ScanResult Refuse(core::Workspace& ws, const ScanSettings& s, core::Ui& ui, const std::string& why,
                  bool logged = true) {
    ScanResult r;
    r.outcome = core::Outcome::Stopped;
    r.problems.push_back(why);
    ui.message(why, kTitle, core::Icon::Error);
    if (!logged)
        return r;
    const auto log = ws.file(ScanLogName(s.out));
    text::SaveLines(log, {"扫描记录 " + core::TableNameOf(s.out.filename().string()), why},
                    ws.Fields.TextEncoding);
    r.written.push_back(log);
    return r;
}

} // namespace

std::string Sha256Of(const std::filesystem::path& file) {
    QFile f(QString::fromStdString(file.string()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !hash.addData(&f))
        throw std::runtime_error("不能读取文件 " + file.string());
    return hash.result().toHex().toStdString();
}

std::vector<db::DbfFieldSpec> AnswerTableFields(const core::FieldSettings& fields, int idWidth,
                                                int questions) {
    return {{fields.ID, 'C', std::max(idWidth, 1), 0},
            {fields.Content, 'C', std::max(questions, 1), 0},
            {fields.Flag, 'C', 1, 0},
            {fields.Subject, 'C', 2, 0},
            {fields.Score, 'N', 5, 1},
            {"SOURCE", 'C', 254, 0}};
}

std::string FieldNamesProblem(const core::FieldSettings& fields) {
    for (const std::string* name :
         {&fields.ID, &fields.Content, &fields.Flag, &fields.Subject, &fields.Score}) {
        if (auto problem = db::DbfFieldNameProblem(*name); !problem.empty())
            return "config.ini: " + problem + "，不能作为dBase表的字段名";
    }
    return {};
}

std::string ScanLogName(const std::filesystem::path& table) {
    return "扫描记录_" + core::TableNameOf(table.filename().string()) + ".txt";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

ScanResult ScanPages(core::Workspace& ws, const ScanSettings& s, const std::vector<Layout>& layouts,
                     PageFeed feed, core::Ui& ui, const ScanProgressFn& progress) {
    if (auto problem = FieldNamesProblem(ws.Fields); !problem.empty())
        return Refuse(ws, s, ui, problem);
    const std::filesystem::path scanDb = ScanDatabaseOf(s.out);
    if (const auto decisions = ReviewDecisions(scanDb);
        decisions > 0 && !ui.question(scanDb.string() + " 中有" + std::to_string(decisions) +
                                          "项复核结果，重新扫描将替换它。是否继续？",
                                      kTitle, core::GoOn::WithYes)) {
        ScanResult r;
        r.outcome = core::Outcome::Stopped;
        return r;
    }
    int questions = 0, digits = 0;
    auto shapes = ShapesOf(layouts, questions, digits);
    ScanStack stack(std::move(shapes), questions);
    ScanDatabaseWriter database(scanDb);
    database.addLayouts(layouts);

    const int jobs =
        s.jobs > 0 ? s.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const auto start = std::chrono::steady_clock::now();
    core::ProgressEnd end(ui, kTitle);
    std::size_t index = 0;
    PageFlow flow;
    flow.next = feed.next;
    flow.read = feed.read;
    flow.take = [&](PageReading&& page) {
        database.addPage(index++, page);
        stack.add(Summarize(page, questions));
        ScanProgress now;
        now.pages = index;
        now.files = feed.filesDone ? feed.filesDone() : 0;
        now.filesTotal = feed.files;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        now.pagesPerSecond = seconds > 0 ? static_cast<double>(index) / seconds : 0;
        EstimatePages(now, feed.pagesGiven ? feed.pagesGiven() : now.files);
        if (now.files > 0 && now.filesTotal > 0 && now.files <= now.filesTotal) {
            const double share =
                static_cast<double>(now.files) / static_cast<double>(now.filesTotal);
            now.secondsLeft = seconds / share - seconds;
        }
        ui.progress(kTitle, static_cast<long long>(now.files),
                    static_cast<long long>(std::max<std::size_t>(now.filesTotal, 1)));
        return !progress || progress(now);
    };
    if (!StreamPages(flow, jobs, static_cast<std::size_t>(2 * jobs + 2))) {
        ScanResult r;
        r.outcome = core::Outcome::Stopped;
        return r;
    }
    stack.finish();

    ScanResult r;
    Count(r, stack);
    for (const auto& p : stack.pages())
        if (p.status == PageStatus::Failed)
            r.problems.push_back(ProblemLine(p));
    const std::string table = core::TableNameOf(s.out.filename().string());
    WriteAnswerTable(s.out, ws.Fields, stack, questions, s.subject);
    r.table = s.out;
    r.written.push_back(s.out);
    database.finish(stack, {table, s.out.filename().string(), Sha256Of(s.out), s.subject,
                            std::max(questions, 1), std::max(stack.idWidth(), 1)});
    r.written.push_back(scanDb);
    if (!s.csv.empty() && layouts.size() == 1 && layouts.front().bubbleTemplate) {
        WriteTemplateCsv(s.csv, stack, *layouts.front().bubbleTemplate);
        r.written.push_back(s.csv);
    } else if (!s.csv.empty()) {
        WriteCsv(s.csv, stack, questions);
        r.written.push_back(s.csv);
    }
    const auto log = ws.file(ScanLogName(s.out));
    text::SaveLines(log, LogLines(table, stack, r), ws.Fields.TextEncoding);
    r.written.push_back(log);
    return r;
}

ScanResult RunScan(core::Workspace& ws, const ScanSettings& s, core::Ui& ui,
                   const ScanProgressFn& progress) {
    if (auto problem = FieldNamesProblem(ws.Fields); !problem.empty())
        return Refuse(ws, s, ui, problem);
    std::unique_ptr<LayoutSet> layouts;
    try {
        layouts = std::make_unique<LayoutSet>(LayoutSet::Load(s.layout, s.idLabel));
    } catch (const TemplateError& e) {
        return Refuse(ws, s, ui, e.what(), false);
    } catch (const LayoutError& e) {
        return Refuse(ws, s, ui, e.what());
    }
    const std::vector<std::filesystem::path> files = InputFiles(s.inputs);
    // PDF pages are drawn by Qt, whose application must start on this
    // thread, not on the input thread that opens the files.
    EnsurePainting();

    // The input thread's own state: the file being walked and its pages.
    struct Walk {
        std::size_t file = 0;
        std::unique_ptr<PageInput> input;
        std::atomic<std::size_t> done{0};
        std::atomic<std::size_t> given{0};
    };
    auto walk = std::make_shared<Walk>();
    PageFeed feed;
    feed.files = files.size();
    feed.filesDone = [walk] { return walk->done.load(); };
    feed.pagesGiven = [walk] { return walk->given.load(); };
    feed.next = [walk, &files]() -> std::optional<PageData> {
        for (;;) {
            if (!walk->input) {
                if (walk->file >= files.size())
                    return std::nullopt;
                walk->input = std::make_unique<PageInput>(files[walk->file]);
            }
            if (auto page = walk->input->next()) {
                ++walk->given;
                return page;
            }
            walk->input.reset();
            ++walk->file;
            walk->done = walk->file;
        }
    };
    const LayoutSet& set = *layouts;
    feed.read = [&set](const PageData& data) { return ReadPageData(data, set); };
    return ScanPages(ws, s, set.layouts(), std::move(feed), ui, progress);
}

} // namespace scan
