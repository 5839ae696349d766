#include "platform/db/JetSql.h"

#include "platform/db/Error.h"
#include "platform/text/Gbk.h"

namespace db::jet {
namespace {

bool IdStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
}
bool IdChar(unsigned char c) {
    return IdStart(c) || (c >= '0' && c <= '9') || c == '$';
}
bool Digit(unsigned char c) {
    return c >= '0' && c <= '9';
}

bool IsAggregate(const Token& t) {
    for (auto name : {"COUNT", "SUM", "AVG", "MIN", "MAX", "FIRST", "LAST", "STDEV", "VAR",
                      "GROUP_CONCAT", "TOTAL"})
        if (t.is(name))
            return true;
    return false;
}

} // namespace

bool Token::is(std::string_view keyword) const {
    return kind == Word && text::EqualNoCase(text, keyword);
}

namespace {

// Reads a statement left to right into tokens, one kind of token per step;
// the blanks before a token travel with it.
class Tokenizer {
  public:
    explicit Tokenizer(std::string_view s) : s(s), n(s.size()) {}

    Tokens run() {
        while (i < n) {
            const unsigned char c = at(i);
            if (c <= ' ')
                space += s[i++];
            else if (!(quotedText(c) || dateLiteral(c) || number(c) || name(c) || parameter(c)))
                punctuation(c);
        }
        return std::move(out);
    }

  private:
    [[nodiscard]] unsigned char at(std::size_t k) const { return static_cast<unsigned char>(s[k]); }

    void push(Token::Kind k, std::string text) {
        out.push_back(Token{k, std::move(text), std::move(space)});
        space.clear();
    }

    [[nodiscard]] std::size_t skipWhile(std::size_t j, bool (*keep)(unsigned char)) const {
        while (j < n && keep(at(j)))
            ++j;
        return j;
    }

    // Text up to the closing character; a doubled closing quote stands for
    // itself (not in brackets).
    void quoted(char close, Token::Kind kind, const char* what) {
        std::string content;
        ++i;
        for (;;) {
            if (i >= n)
                throw Error(std::string("SQL 语句中的") + what + "没有结束: " + std::string(s));
            if (s[i] == close) {
                if (close != ']' && i + 1 < n && s[i + 1] == close) {
                    content += close;
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            content += s[i++];
        }
        push(kind, std::move(content));
    }

    bool quotedText(unsigned char c) {
        if (c == '\'' || c == '"')
            quoted(static_cast<char>(c), Token::String, "字符串");
        else if (c == '[')
            quoted(']', Token::QuotedId, "名称 [...]");
        else if (c == '`')
            quoted('`', Token::QuotedId, "名称 `...`");
        else
            return false;
        return true;
    }

    // #2026-12-07# becomes the string of the date.
    bool dateLiteral(unsigned char c) {
        if (c != '#')
            return false;
        std::size_t close = s.find('#', i + 1);
        if (close == std::string_view::npos || close - i > 24 || close <= i + 1 ||
            !Digit(at(i + 1)))
            return false;
        push(Token::String, std::string(s.substr(i + 1, close - i - 1)));
        i = close + 1;
        return true;
    }

    void word(std::size_t end) {
        push(Token::Word, std::string(s.substr(i, end - i)));
        i = end;
    }

    // A number, or a name that starts with digits (9班, 2e班).
    bool number(unsigned char c) {
        const bool afterName =
            !out.empty() && space.empty() && (out.back().isName() || out.back().isPunct(")"));
        if (!(Digit(c) || (c == '.' && i + 1 < n && Digit(at(i + 1)) && !afterName)))
            return false;
        std::size_t j = skipWhile(i, Digit);
        if (j < n && IdStart(at(j)) && s[j] != 'e' && s[j] != 'E') {
            word(skipWhile(j, IdChar));
            return true;
        }
        if (j < n && s[j] == '.')
            j = skipWhile(j + 1, Digit);
        if (j < n && (s[j] == 'e' || s[j] == 'E')) {
            std::size_t k = j + 1;
            if (k < n && (s[k] == '+' || s[k] == '-'))
                ++k;
            if (k < n && Digit(at(k))) {
                j = skipWhile(k, Digit);
            } else if (IdStart(at(j))) {
                word(skipWhile(j, IdChar));
                return true;
            }
        }
        push(Token::Number, std::string(s.substr(i, j - i)));
        i = j;
        return true;
    }

    bool name(unsigned char c) {
        if (!IdStart(c))
            return false;
        word(skipWhile(i, IdChar));
        return true;
    }

    // :Name and @Name are named parameters, ? a positional one.
    bool parameter(unsigned char c) {
        if ((c == ':' || c == '@') && i + 1 < n && IdStart(at(i + 1))) {
            std::size_t j = skipWhile(i + 1, IdChar);
            std::string param(1, ':');
            param.append(s.substr(i + 1, j - i - 1));
            push(Token::Param, std::move(param));
            i = j;
            return true;
        }
        if (c != '?')
            return false;
        push(Token::Param, "?");
        ++i;
        return true;
    }

    void punctuation(unsigned char c) {
        static const char* twoChar[] = {"<>", "<=", ">=", "!=", "||", "==", "<<", ">>"};
        for (const char* p : twoChar) {
            if (s.substr(i, 2) == p) {
                push(Token::Punct, p);
                i += 2;
                return;
            }
        }
        push(Token::Punct, std::string(1, static_cast<char>(c)));
        ++i;
    }

    std::string_view s;
    std::size_t n;
    std::size_t i = 0;
    std::string space;
    Tokens out;
};

} // namespace

Tokens Tokenize(std::string_view s) {
    return Tokenizer(s).run();
}

// Jet's SELECT TOP n becomes LIMIT n; DELETE * FROM becomes DELETE FROM.
void Normalize(Tokens& t) {
    while (!t.empty() && t.back().isPunct(";"))
        t.pop_back();
    if (t.size() > 2 && t[0].is("DELETE") && t[1].isPunct("*"))
        t.erase(t.begin() + 1);
    if (!t.empty() && t[0].is("SELECT")) {
        std::size_t i = 1;
        if (i < t.size() && (t[i].is("DISTINCT") || t[i].is("DISTINCTROW") || t[i].is("ALL")))
            ++i;
        if (i + 1 < t.size() && t[i].is("TOP") && t[i + 1].kind == Token::Number) {
            std::string n = t[i + 1].text;
            t.erase(t.begin() + static_cast<long>(i), t.begin() + static_cast<long>(i) + 2);
            t.push_back(Token{Token::Word, "LIMIT", " "});
            t.push_back(Token{Token::Number, n, " "});
        }
        if (t.size() > 1 && t[1].is("DISTINCTROW"))
            t[1].text = "DISTINCT";
    }
}

std::string QuoteName(std::string_view name) {
    std::string r = "\"";
    for (char c : name) {
        if (c == '"')
            r += '"';
        r += c;
    }
    return r + "\"";
}

std::string Bracket(std::string_view name) {
    return "[" + std::string(name) + "]";
}

std::string QuoteString(std::string_view s) {
    std::string r = "'";
    for (char c : s) {
        if (c == '\'')
            r += '\'';
        r += c;
    }
    return r + "'";
}

std::string Render(const Tokens& t, std::size_t begin, std::size_t end) {
    if (end > t.size())
        end = t.size();
    std::string out;
    for (std::size_t i = begin; i < end; ++i) {
        const Token& k = t[i];
        if (i != begin)
            out += k.space.empty() ? "" : " ";
        switch (k.kind) {
        case Token::String:
            out += QuoteString(k.text);
            break;
        case Token::QuotedId:
            out += QuoteName(k.text);
            break;
        case Token::Word:
            if (Digit(static_cast<unsigned char>(k.text[0])))
                out += QuoteName(k.text);
            else if ((k.is("LEFT") || k.is("RIGHT")) && i + 1 < end && t[i + 1].isPunct("("))
                out += "jet_" + text::Lower(k.text);
            else if (k.is("MOD"))
                out += "%";
            else
                out += k.text;
            break;
        case Token::Punct:
            out += k.text == "&" ? "||" : k.text;
            break;
        default:
            out += k.text;
        }
    }
    return out;
}

std::vector<External> FindExternals(const Tokens& t) {
    std::vector<External> found;
    for (std::size_t i = 0; i + 3 < t.size(); ++i) {
        bool afterFrom =
            i > 0 && (t[i - 1].is("FROM") || t[i - 1].is("JOIN") || t[i - 1].isPunct(","));
        if (afterFrom && t[i].isName() && t[i + 1].is("IN") && t[i + 2].kind == Token::String &&
            t[i + 3].kind == Token::String && text::Lower(t[i + 3].text).rfind("dbase", 0) == 0) {
            found.push_back(External{i, i + 4, t[i].text, t[i + 2].text});
            i += 3;
        }
    }
    return found;
}

std::size_t FindTop(const Tokens& t, std::string_view keyword, std::size_t from) {
    int depth = 0;
    for (std::size_t i = from; i < t.size(); ++i) {
        if (t[i].isPunct("("))
            ++depth;
        else if (t[i].isPunct(")"))
            --depth;
        else if (depth == 0 && t[i].is(keyword))
            return i;
    }
    return static_cast<std::size_t>(-1);
}

std::vector<std::pair<std::size_t, std::size_t>> SplitTop(const Tokens& t, std::size_t begin,
                                                          std::size_t end) {
    std::vector<std::pair<std::size_t, std::size_t>> parts;
    int depth = 0;
    std::size_t start = begin;
    for (std::size_t i = begin; i < end; ++i) {
        if (t[i].isPunct("("))
            ++depth;
        else if (t[i].isPunct(")"))
            --depth;
        else if (depth == 0 && t[i].isPunct(",")) {
            parts.emplace_back(start, i);
            start = i + 1;
        }
    }
    parts.emplace_back(start, end);
    return parts;
}

std::optional<SimpleSelect> AsSimpleSelect(const Tokens& t) {
    if (t.empty() || !t[0].is("SELECT"))
        return std::nullopt;
    const std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t from = FindTop(t, "FROM");
    if (from == npos || from == 1)
        return std::nullopt;
    int depth = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Token& k = t[i];
        if (k.isPunct("("))
            ++depth;
        else if (k.isPunct(")"))
            --depth;
        if (k.isPunct(";") && i + 1 != t.size())
            return std::nullopt;
        if (k.kind == Token::Word && depth == 0 &&
            (k.is("DISTINCT") || k.is("TOP") || k.is("INTO") || k.is("GROUP") || k.is("HAVING") ||
             k.is("UNION") || k.is("JOIN") || k.is("LIMIT") || k.is("EXCEPT") ||
             k.is("INTERSECT") || k.is("DISTINCTROW")))
            return std::nullopt;
        if (i < from && IsAggregate(k) && i + 1 < t.size() && t[i + 1].isPunct("("))
            return std::nullopt;
    }
    std::size_t i = from + 1;
    if (i >= t.size() || !t[i].isName())
        return std::nullopt;
    SimpleSelect s;
    s.table = t[i].text;
    std::string ref = Render(t, i, i + 1);
    ++i;
    if (i < t.size() && t[i].is("AS"))
        ++i;
    if (i < t.size() && t[i].isName() && !t[i].is("WHERE") && !t[i].is("ORDER")) {
        ref = Render(t, i, i + 1);
        ++i;
    }
    if (i < t.size() && !t[i].is("WHERE") && !t[i].is("ORDER") && !t[i].isPunct(";"))
        return std::nullopt;
    s.selectList = Render(t, 1, from);
    s.from = Render(t, from + 1, i);
    s.rowidRef = ref + ".rowid";
    s.rest = Render(t, i, t.size());
    if (!s.rest.empty() && s.rest.back() == ';')
        s.rest.pop_back();
    return s;
}

} // namespace db::jet
