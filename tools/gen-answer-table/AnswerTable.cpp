#include "tools/gen-answer-table/AnswerTable.h"

#include "tests/support/DbfWriter.h"

#include <optional>
#include <random>
#include <stdexcept>

namespace tools {
namespace {

std::string Zeros(long long n, int digits) {
    std::string s = std::to_string(n);
    while (static_cast<int>(s.size()) < digits)
        s = "0" + s;
    return s;
}

} // namespace

AnswerKey WriteAnswerTable(const std::filesystem::path& file, const AnswerTableLayout& layout,
                           const SheetVisitor& visit) {
    using testsupport::DbfColumn;
    if (layout.records < 0 || layout.questions < 1 || layout.questions > 254 || layout.classes < 1)
        throw std::invalid_argument("records >= 0, questions 1..254 and classes >= 1");
    if (layout.model != "uniform" && layout.model != "irt")
        throw std::invalid_argument("model must be uniform or irt");
    std::optional<IrtModel> irt;
    if (layout.model == "irt")
        irt.emplace(layout.questions, layout.multi, layout.options, layout.classes, layout.seed);
    const int idLength =
        static_cast<int>(layout.prefix.size()) + layout.classDigits + layout.seatDigits;
    std::vector<DbfColumn> columns = {{"BH", 'C', idLength},
                                      {"CONTENT", 'C', layout.questions},
                                      {"FLAG", 'C', 1},
                                      {"SUBJECT", 'C', 2}};
    if (layout.score == "int")
        columns.push_back({"SCORE", 'N', 3, 0});
    else if (layout.score == "float")
        columns.push_back({"SCORE", 'N', 5, 1});
    else if (layout.score == "text")
        columns.push_back({"SCORE", 'C', 5});
    else if (layout.score != "none")
        throw std::invalid_argument("score must be none, int, float or text");

    testsupport::DbfWriter writer(file, columns);
    std::mt19937_64 rng(layout.seed);
    // Mostly single marks, some blanks and some double marks.
    static const char singles[] = {'1', '2', '4', '8'};
    static const char others[] = {'0', '0', '0', '3', '5', '6', '9', '@'};
    const long long perClass = (layout.records + layout.classes - 1) / layout.classes;
    std::string content(static_cast<std::size_t>(layout.questions), '0');
    for (long long r = 0; r < layout.records; ++r) {
        long long cls = r / std::max(1LL, perClass) + 1;
        long long seat = r % std::max(1LL, perClass) + 1;
        std::string id =
            layout.prefix + Zeros(cls, layout.classDigits) + Zeros(seat, layout.seatDigits);
        if (irt) {
            irt->fill(static_cast<int>(cls - 1), content);
        } else {
            for (auto& c : content) {
                std::uint64_t x = rng();
                c = (x % 100) < 92 ? singles[(x >> 8) % 4] : others[(x >> 8) % 8];
            }
        }
        std::vector<testsupport::DbfCell> cells = {id, content, std::string("0"),
                                                   std::string("01")};
        if (layout.score != "none")
            cells.push_back(std::nullopt);
        writer.append(cells);
        if (visit)
            visit(id, content);
    }
    writer.finish();
    return irt ? irt->key() : AnswerKey{};
}

} // namespace tools
