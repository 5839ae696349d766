#pragma once

#include "roster/Readers.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Which column of a class list holds which field of the table `ids`: found
// by the usual headings, or set by hand.
namespace roster {

enum class Field { Id, Class, Name, Subject };

// The field's Chinese name ("考号") and its column in `ids` ("ID").
[[nodiscard]] const char* FieldName(Field f);
[[nodiscard]] const char* IdsColumn(Field f);

// One "COLUMN=FIELD" set by hand. COLUMN is a heading as written in the
// list; when no heading matches it, a 1-based column number ("3") or a
// column letter ("C"). FIELD is a column of `ids` or its Chinese name, case
// ignored: ID or 考号, StudClass or 班级, StudName or 姓名, StudSubject or 科目.
struct ColumnMap {
    std::string column;
    Field field = Field::Id;
};

// Throws roster::Error when the text has no "=" or names no known field.
[[nodiscard]] ColumnMap ParseColumnMap(std::string_view text);

// The chosen column (0-based) of each field; -1 when the list has none.
struct Columns {
    int id = -1;
    int cls = -1;
    int name = -1;
    int subject = -1;
    [[nodiscard]] int of(Field f) const;
    void set(Field f, int column);
};

// A heading as compared with the known ones: trimmed, full-width made
// ASCII, blanks, '*' and a trailing colon or bracketed note ("考号（9位）")
// removed, ASCII letters in lower case.
[[nodiscard]] std::string HeadingKey(std::string_view heading);

// The column a mapping names in this heading row, or -1.
[[nodiscard]] int FindMappedColumn(const TextRow& headings, std::string_view column);

// Columns of a heading row. Maps win; every other field is recognised by
// its usual headings among the columns no map took. For the exam number
// 考号 wins over 准考证号 over 学号 over ID; of two columns with the same
// heading the first. A map whose column is not in the row leaves its field
// unset (the caller names the problem).
[[nodiscard]] Columns RecognizeColumns(const TextRow& headings,
                                       const std::vector<ColumnMap>& maps = {});

} // namespace roster
