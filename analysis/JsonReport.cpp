#include "analysis/JsonReport.h"

#include "analysis/OutputFile.h"

#include <charconv>
#include <cstdio>

namespace analysis {
namespace {

// Builds one JSON text; members are written in the order they are added.
class JsonWriter {
  public:
    void open(char bracket) {
        comma();
        mText += bracket;
        mFirst = true;
    }
    void close(char bracket) {
        mText += bracket;
        mFirst = false;
    }
    void name(std::string_view n) {
        comma();
        string(n);
        mText += ':';
        mFirst = true; // the value follows without a comma
    }
    void value(double v) {
        comma();
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
        mText.append(buffer, end);
    }
    void value(std::int64_t v) {
        comma();
        mText += std::to_string(v);
    }
    void value(const Figure& v) {
        if (v)
            value(*v);
        else
            null();
    }
    void value(std::string_view s) {
        comma();
        string(s);
    }
    void null() {
        comma();
        mText += "null";
    }
    template <typename T> void member(std::string_view n, const T& v) {
        name(n);
        value(v);
    }
    [[nodiscard]] const std::string& text() const { return mText; }

  private:
    void comma() {
        if (!mFirst)
            mText += ',';
        mFirst = false;
    }
    void string(std::string_view s) {
        mText += '"';
        for (char c : s) {
            if (c == '"' || c == '\\') {
                mText += '\\';
                mText += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
                mText += escape;
            } else {
                mText += c;
            }
        }
        mText += '"';
    }

    std::string mText;
    bool mFirst = true;
};

void Options(JsonWriter& j, const SingleFigures& f) {
    j.name("options");
    j.open('{');
    for (std::size_t c = 0; c < CategoryCount; ++c) {
        const OptionFigures& o = f.options[c];
        j.name(CategoryName(static_cast<Category>(c)));
        j.open('{');
        j.member("count", o.count);
        j.member("share", o.share);
        j.member("upper", o.upper);
        j.member("lower", o.lower);
        j.member("mean_total", o.meanTotal);
        j.member("r", o.r);
        j.close('}');
    }
    j.close('}');
}

void Letters(JsonWriter& j, const MultiFigures& f) {
    j.name("credit");
    j.open('{');
    j.member("full", f.full);
    j.member("partial", f.partial);
    j.member("none", f.none);
    j.close('}');
    j.name("letters");
    j.open('{');
    for (std::size_t l = 0; l < f.letters.size(); ++l) {
        j.name(std::string(1, static_cast<char>('A' + l)));
        j.open('{');
        j.member("share", f.letters[l].share);
        j.member("upper", f.letters[l].upper);
        j.member("lower", f.letters[l].lower);
        j.close('}');
    }
    j.close('}');
}

void Item(JsonWriter& j, const ItemFigures& item) {
    j.open('{');
    j.member("type", std::string_view(item.type == QuestionType::Single ? "single" : "multi"));
    j.member("number", static_cast<std::int64_t>(item.number));
    j.member("position", static_cast<std::int64_t>(item.position));
    j.member("key", std::string_view(item.key));
    j.member("max", item.max);
    j.member("mean", item.mean);
    j.member("p", item.p);
    j.member("p_upper", item.pUpper);
    j.member("p_lower", item.pLower);
    j.member("d", item.d);
    j.member("r", item.r);
    j.member("r_rest", item.rRest);
    j.member("alpha_if_deleted", item.alphaIfDeleted);
    j.name("rating");
    if (item.rating)
        j.value(RatingText(*item.rating));
    else
        j.null();
    j.name("flags");
    j.open('[');
    for (Flag f : item.flags)
        j.value(FlagName(f));
    j.close(']');
    j.name("suspect");
    if (item.suspect)
        j.value(std::string_view(&*item.suspect, 1));
    else
        j.null();
    if (item.single)
        Options(j, *item.single);
    if (item.multi)
        Letters(j, *item.multi);
    j.close('}');
}

} // namespace

std::string JsonText(const ExamAnalysis& a) {
    JsonWriter j;
    j.open('{');
    j.member("table", std::string_view(a.table));
    j.member("sheets", a.sheets);
    j.member("full", a.full);
    j.member("mean", a.mean);
    j.member("sd", a.sd);
    j.member("median", a.median);
    j.member("min", a.min);
    j.member("max", a.max);
    j.member("alpha", a.alpha);
    j.member("sem", a.sem);
    j.member("group_size", a.groupSize);
    j.name("bands");
    j.open('[');
    for (const Band& b : a.bands) {
        j.open('{');
        j.member("from", b.from);
        j.member("to", b.to);
        j.member("count", b.count);
        j.member("share", b.share);
        j.member("cumulative", b.cumulative);
        j.close('}');
    }
    j.close(']');
    j.name("items");
    j.open('[');
    for (const ItemFigures& item : a.items)
        Item(j, item);
    j.close(']');
    j.close('}');
    return j.text() + "\n";
}

void WriteJson(const ExamAnalysis& analysis, const std::filesystem::path& file) {
    WriteWhole(file, JsonText(analysis));
}

} // namespace analysis
