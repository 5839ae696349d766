#include "scoring/ConvertCommand.h"

#include "core/AppError.h"
#include "platform/text/Gbk.h"
#include "scoring/MarkCodes.h"

namespace scoring {
namespace {

// The conversion's single-choice letters: a single mark's letter, every
// other code (the blank "0" too) as it is.
std::string Letter(char code) {
    const char letter = SingleMarkLetter(code);
    return std::string(1, letter ? letter : code);
}

} // namespace

std::string ConvertAnswers(const std::string& content, int T) {
    std::string out;
    for (std::size_t n = 0; n < content.size(); ++n) {
        const int i = static_cast<int>(n) + 1;
        if (i <= T) {
            out += Letter(content[n]);
            if (i % 5 == 0)
                out += ";";
            if (i == T)
                out += "  ";
        } else {
            out += MarkToLetters(content[n]) + ";";
        }
    }
    out = text::Trim(out);
    if (!out.empty() && out.back() == ';')
        out.pop_back();
    return text::Trim(out);
}

std::optional<std::string> ConvertCurrent(core::Workspace& ws, int T) {
    db::Query& view = ws.view;
    if (!view.isOpen())
        return std::nullopt;
    if (!view.hasField(ws.Fields.Content))
        throw core::AppError("找不到客观题字段：" + ws.Fields.Content +
                             "，请使用\"设置字段名\"改正。");
    const std::string content = view.asText(ws.Fields.Content);
    if (content.empty())
        return std::nullopt;
    return ConvertAnswers(content, T);
}

} // namespace scoring
