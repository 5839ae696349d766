#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The Jet dialect, as the program and its users write it, turned into
// SQLite's. Works on tokens (string literals, "..." and [...] respected),
// never on raw text. The statements that need to look at the database (make
// table, insert by column name, multi-column ALTER) are split into their
// parts here and carried out by Connection.
namespace db::jet {

struct Token {
    enum Kind { Word, QuotedId, String, Number, Param, Punct };
    Kind kind = Punct;
    std::string text;  // words, numbers, punctuation: as written; quoted: the content
    std::string space; // blanks before the token
    [[nodiscard]] bool is(std::string_view keyword) const;
    [[nodiscard]] bool isPunct(std::string_view p) const { return kind == Punct && text == p; }
    [[nodiscard]] bool isName() const { return kind == Word || kind == QuotedId; }
};

using Tokens = std::vector<Token>;

// Splits Jet text into tokens; throws db::Error on an unterminated literal.
[[nodiscard]] Tokens Tokenize(std::string_view sql);

// Statement-level rewrites: SELECT TOP n becomes LIMIT n, DELETE * FROM
// becomes DELETE FROM, a trailing ";" goes.
void Normalize(Tokens& t);

// SQLite text of tokens [begin, end): Jet's "..." strings become '...',
// [names] become "names", & becomes ||, #dates# become strings, a name that
// starts with a digit (9班) is quoted, LEFT( and RIGHT( call the Jet
// functions.
[[nodiscard]] std::string Render(const Tokens& t, std::size_t begin = 0,
                                 std::size_t end = static_cast<std::size_t>(-1));

// A name in SQLite text: in double quotes, inner quotes doubled.
[[nodiscard]] std::string QuoteName(std::string_view name);
[[nodiscard]] std::string QuoteString(std::string_view s);

// A table or column name in Jet text: in brackets ([801]), because Jet reads
// "..." as a string. A name holding "]" cannot be written so: the callers
// refuse such names before they build a statement.
[[nodiscard]] std::string Bracket(std::string_view name);

// `name IN "folder" "dbase 5.0;"`: an external dBase table.
struct External {
    std::size_t begin = 0; // the name token
    std::size_t end = 0;   // one past the driver string
    std::string table;
    std::string folder;
};
[[nodiscard]] std::vector<External> FindExternals(const Tokens& t);

// Index of the matching keyword at parenthesis depth 0 from `from`, or npos.
[[nodiscard]] std::size_t FindTop(const Tokens& t, std::string_view keyword, std::size_t from = 0);

// Splits at top-level commas within [begin, end).
[[nodiscard]] std::vector<std::pair<std::size_t, std::size_t>>
SplitTop(const Tokens& t, std::size_t begin, std::size_t end);

// A single-table SELECT without grouping, DISTINCT, aggregates or joins: the
// rows can be addressed by rowid.
struct SimpleSelect {
    std::string selectList; // SQLite text
    std::string from;       // table [alias], SQLite text
    std::string rowidRef;   // alias.rowid or table.rowid
    std::string rest;       // WHERE ... ORDER BY ..., SQLite text
    std::string table;      // the base table's name, unquoted
};
[[nodiscard]] std::optional<SimpleSelect> AsSimpleSelect(const Tokens& t);

} // namespace db::jet
