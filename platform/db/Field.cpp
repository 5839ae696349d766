#include "platform/db/Field.h"

#include "platform/text/Gbk.h"

namespace db {
namespace {

std::string FirstWord(std::string_view declared) {
    std::string word;
    for (char c : declared) {
        if (c == '(' || c == ' ' || c == '\t')
            break;
        word += c;
    }
    return text::Upper(word);
}

} // namespace

FieldKind KindFromDeclared(std::string_view declared, bool* known) {
    struct Entry {
        const char* name;
        FieldKind kind;
    };
    static const Entry table[] = {
        {"INT", FieldKind::Integer},
        {"INTEGER", FieldKind::Integer},
        {"LONG", FieldKind::Integer},
        {"INTEGER4", FieldKind::Integer},
        {"COUNTER", FieldKind::Integer},
        {"AUTOINCREMENT", FieldKind::Integer},
        {"SMALLINT", FieldKind::SmallInt},
        {"SHORT", FieldKind::SmallInt},
        {"INTEGER2", FieldKind::SmallInt},
        {"BYTE", FieldKind::SmallInt},
        {"TINYINT", FieldKind::SmallInt},
        {"REAL", FieldKind::Float},
        {"FLOAT", FieldKind::Float},
        {"DOUBLE", FieldKind::Float},
        {"SINGLE", FieldKind::Float},
        {"FLOAT4", FieldKind::Float},
        {"FLOAT8", FieldKind::Float},
        {"NUMBER", FieldKind::Float},
        {"CURRENCY", FieldKind::Currency},
        {"MONEY", FieldKind::Currency},
        {"DECIMAL", FieldKind::Bcd},
        {"NUMERIC", FieldKind::Bcd},
        {"DEC", FieldKind::Bcd},
        {"CHAR", FieldKind::String},
        {"VARCHAR", FieldKind::String},
        {"TEXT", FieldKind::String},
        {"NCHAR", FieldKind::String},
        {"NVARCHAR", FieldKind::String},
        {"CHARACTER", FieldKind::String},
        {"STRING", FieldKind::String},
        {"ALPHANUMERIC", FieldKind::String},
        {"MEMO", FieldKind::Memo},
        {"LONGTEXT", FieldKind::Memo},
        {"LONGCHAR", FieldKind::Memo},
        {"NOTE", FieldKind::Memo},
        {"NTEXT", FieldKind::Memo},
        {"BIT", FieldKind::Boolean},
        {"YESNO", FieldKind::Boolean},
        {"LOGICAL", FieldKind::Boolean},
        {"LOGICAL1", FieldKind::Boolean},
        {"BOOLEAN", FieldKind::Boolean},
        {"DATE", FieldKind::DateTime},
        {"DATETIME", FieldKind::DateTime},
        {"TIME", FieldKind::DateTime},
        {"TIMESTAMP", FieldKind::DateTime},
    };
    std::string word = FirstWord(declared);
    for (const auto& e : table) {
        if (word == e.name) {
            if (known)
                *known = true;
            return e.kind;
        }
    }
    if (known)
        *known = false;
    return FieldKind::Other;
}

bool IsSinglePrecision(std::string_view declared) {
    std::string word = FirstWord(declared);
    return word == "REAL" || word == "SINGLE" || word == "FLOAT4";
}

} // namespace db
