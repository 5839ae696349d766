#include "fuzz/Entries.h"
#include "platform/db/Connection.h"
#include "platform/db/Error.h"
#include "platform/db/JetSql.h"

#include <string_view>

namespace fuzzing {
namespace {

namespace jet = db::jet;

void TranslateTokens(jet::Tokens& t) {
    (void)jet::Render(t);
    for (const auto& e : jet::FindExternals(t))
        (void)jet::Render(t, e.begin, e.end);
    jet::Normalize(t);
    (void)jet::Render(t);
    for (const char* keyword : {"FROM", "INTO", "WHERE", "SET", "SELECT"}) {
        const std::size_t at = jet::FindTop(t, keyword);
        if (at != static_cast<std::size_t>(-1))
            for (const auto& [begin, end] : jet::SplitTop(t, at + 1, t.size()))
                (void)jet::Render(t, begin, end);
    }
    (void)jet::AsSimpleSelect(t);
}

} // namespace

int TranslateJet(const std::uint8_t* data, std::size_t size) {
    const std::string_view sql(reinterpret_cast<const char*>(data), size);
    try {
        jet::Tokens t = jet::Tokenize(sql);
        TranslateTokens(t);
    } catch (const db::Error&) {
        // an unterminated literal or a statement the translator refuses
    }
    try {
        (void)db::Connection::TranslateQuery(sql);
    } catch (const db::Error&) {
    }
    try {
        db::CheckUserStatement(sql);
    } catch (const db::Error&) {
    }
    (void)jet::QuoteName(sql);
    (void)jet::QuoteString(sql);
    (void)jet::Bracket(sql);
    return 0;
}

} // namespace fuzzing
