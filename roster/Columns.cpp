#include "roster/Columns.h"

#include "roster/CellText.h"
#include "roster/Error.h"

#include "platform/text/Gbk.h"

#include <array>

namespace roster {
namespace {

struct Alias {
    const char* key; // as HeadingKey gives it
    Field field;
    int rank; // lower wins among columns of one field
};

constexpr std::array kAliases{
    Alias{"考号", Field::Id, 0},
    Alias{"考生号", Field::Id, 0},
    Alias{"考试号", Field::Id, 0},
    Alias{"准考证号", Field::Id, 1},
    Alias{"准考号", Field::Id, 1},
    Alias{"准考证", Field::Id, 1},
    Alias{"学号", Field::Id, 2},
    Alias{"id", Field::Id, 3},
    Alias{"studid", Field::Id, 3},
    Alias{"姓名", Field::Name, 0},
    Alias{"学生姓名", Field::Name, 0},
    Alias{"考生姓名", Field::Name, 0},
    Alias{"名字", Field::Name, 1},
    Alias{"name", Field::Name, 1},
    Alias{"studname", Field::Name, 1},
    Alias{"班级", Field::Class, 0},
    Alias{"班", Field::Class, 0},
    Alias{"班别", Field::Class, 0},
    Alias{"班号", Field::Class, 0},
    Alias{"class", Field::Class, 1},
    Alias{"studclass", Field::Class, 1},
    Alias{"科目", Field::Subject, 0},
    Alias{"学科", Field::Subject, 0},
    Alias{"选科", Field::Subject, 0},
    Alias{"考试科目", Field::Subject, 0},
    Alias{"subject", Field::Subject, 1},
    Alias{"studsubject", Field::Subject, 1},
};

constexpr std::array kFields{Field::Id, Field::Class, Field::Name, Field::Subject};

bool EndsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// "考号(9位)" -> "考号": drops a bracketed note at the end.
void DropNote(std::string& s) {
    static const std::array<std::pair<std::string_view, std::string_view>, 3> kBrackets{
        std::pair<std::string_view, std::string_view>{"(", ")"},
        {"\xEF\xBC\x88", "\xEF\xBC\x89"},
        {"\xE3\x80\x90", "\xE3\x80\x91"}};
    for (const auto& [open, close] : kBrackets) {
        if (!EndsWith(s, close))
            continue;
        const std::size_t at = s.rfind(open);
        if (at != std::string::npos && at > 0)
            s.erase(at);
    }
}

// Column letters "A".."XFD" as a 0-based index, or -1.
int ColumnLetters(std::string_view s) {
    if (s.empty() || s.size() > 3)
        return -1;
    int column = 0;
    for (char c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            return -1;
        column = column * 26 + (c - 'A' + 1);
    }
    return column - 1;
}

} // namespace

const char* FieldName(Field f) {
    switch (f) {
    case Field::Id:
        return "考号";
    case Field::Class:
        return "班级";
    case Field::Name:
        return "姓名";
    case Field::Subject:
        return "科目";
    }
    return "";
}

const char* IdsColumn(Field f) {
    switch (f) {
    case Field::Id:
        return "ID";
    case Field::Class:
        return "StudClass";
    case Field::Name:
        return "StudName";
    case Field::Subject:
        return "StudSubject";
    }
    return "";
}

int Columns::of(Field f) const {
    switch (f) {
    case Field::Id:
        return id;
    case Field::Class:
        return cls;
    case Field::Name:
        return name;
    case Field::Subject:
        return subject;
    }
    return -1;
}

void Columns::set(Field f, int column) {
    switch (f) {
    case Field::Id:
        id = column;
        break;
    case Field::Class:
        cls = column;
        break;
    case Field::Name:
        name = column;
        break;
    case Field::Subject:
        subject = column;
        break;
    }
}

ColumnMap ParseColumnMap(std::string_view text) {
    const std::size_t eq = text.rfind('=');
    if (eq == std::string_view::npos || eq == 0)
        throw Error("列映射“" + std::string(text) + "”应写作 列名=字段");
    ColumnMap map;
    map.column = TrimCell(text.substr(0, eq));
    const std::string field = TrimCell(text.substr(eq + 1));
    for (Field f : kFields) {
        if (text::EqualNoCase(field, IdsColumn(f)) || field == FieldName(f)) {
            map.field = f;
            return map;
        }
    }
    throw Error("列映射“" + std::string(text) + "”中的字段“" + field +
                "”无法识别，可用: 考号(ID)、班级(StudClass)、姓名(StudName)、科目(StudSubject)");
}

std::string HeadingKey(std::string_view heading) {
    const std::string s = HalfWidth(TrimCell(heading));
    std::string key;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ' ' || s[i] == '\t' || s[i] == '*')
            continue;
        if (s.compare(i, 3, "\xE3\x80\x80") == 0) {
            i += 2;
            continue;
        }
        key += s[i];
    }
    key = text::Lower(key);
    if (EndsWith(key, ":"))
        key.pop_back();
    if (EndsWith(key, "\xEF\xBC\x9A"))
        key.resize(key.size() - 3);
    DropNote(key);
    return key;
}

int FindMappedColumn(const TextRow& headings, std::string_view column) {
    const std::string wanted = TrimCell(column);
    for (std::size_t c = 0; c < headings.size(); ++c)
        if (text::EqualNoCase(TrimCell(headings[c]), wanted))
            return static_cast<int>(c);
    const std::string key = HeadingKey(wanted);
    for (std::size_t c = 0; c < headings.size(); ++c)
        if (!key.empty() && HeadingKey(headings[c]) == key)
            return static_cast<int>(c);
    if (!wanted.empty() && wanted.find_first_not_of("0123456789") == std::string::npos &&
        wanted.size() < 6) {
        const int number = std::stoi(wanted);
        return number >= 1 ? number - 1 : -1;
    }
    return ColumnLetters(wanted);
}

Columns RecognizeColumns(const TextRow& headings, const std::vector<ColumnMap>& maps) {
    Columns chosen;
    std::vector<bool> taken(headings.size(), false);
    std::array<bool, 4> mapped{};
    for (const ColumnMap& m : maps) {
        mapped[static_cast<std::size_t>(m.field)] = true;
        const int c = FindMappedColumn(headings, m.column);
        chosen.set(m.field, c);
        if (c >= 0 && static_cast<std::size_t>(c) < taken.size())
            taken[static_cast<std::size_t>(c)] = true;
    }
    std::array<int, 4> bestRank{99, 99, 99, 99};
    for (std::size_t c = 0; c < headings.size(); ++c) {
        if (taken[c])
            continue;
        const std::string key = HeadingKey(headings[c]);
        for (const Alias& a : kAliases) {
            const auto f = static_cast<std::size_t>(a.field);
            if (key != a.key || mapped[f] || a.rank >= bestRank[f])
                continue;
            bestRank[f] = a.rank;
            chosen.set(a.field, static_cast<int>(c));
        }
    }
    return chosen;
}

} // namespace roster
