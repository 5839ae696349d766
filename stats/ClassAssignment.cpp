#include "stats/ClassAssignment.h"

#include "platform/db/Query.h"
#include "platform/text/Gbk.h"
#include "stats/Like.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace stats {
namespace {

bool IsNumber(const std::string& s, double& value) {
    if (s.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(s.c_str(), &end);
    return *end == '\0' && errno != ERANGE;
}

// A decimal literal as SQLite reads one into a numeric column: a sign,
// digits with at most one point, an exponent; blanks around it allowed.
bool IsDecimalLiteral(const std::string& s) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto digits = [&] {
        const std::size_t from = i;
        while (i < n && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i - from;
    };
    while (i < n && s[i] == ' ')
        ++i;
    if (i < n && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < n && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    while (i < n && s[i] == ' ')
        ++i;
    return i == n;
}

std::string Substring(const std::string& s, std::size_t chars, std::size_t count) {
    std::size_t b = 0, c = 0;
    while (b < s.size() && c < chars) {
        ++b;
        while (b < s.size() && (static_cast<unsigned char>(s[b]) & 0xC0) == 0x80)
            ++b;
        ++c;
    }
    std::size_t e = b;
    c = 0;
    while (e < s.size() && c < count) {
        ++e;
        while (e < s.size() && (static_cast<unsigned char>(s[e]) & 0xC0) == 0x80)
            ++e;
        ++c;
    }
    return s.substr(b, e - b);
}

} // namespace

std::string PatternOf(const std::string& pattern, const std::string& code) {
    std::string p = pattern;
    std::size_t at = p.find("%s");
    if (at != std::string::npos)
        p.replace(at, 2, code);
    return p;
}

ClassAssignment::ClassAssignment(const ClassSettings& s, std::vector<std::string> predefinedCodes)
    : mPredefined(s.predefined) {
    if (s.predefined) {
        mCodes = std::move(predefinedCodes);
        for (std::size_t i = 0; i < mCodes.size(); ++i) {
            double v = 0;
            if (IsNumber(mCodes[i], v))
                mByNumber.emplace(v, i);
            else
                mByText.emplace(mCodes[i], i);
        }
        return;
    }
    const std::string pattern = ClassPattern(s);
    const std::size_t at = pattern.find("%s");
    const std::string before = pattern.substr(0, at);
    const std::string after = pattern.substr(at + 2);
    mShaped = before.find('%') == std::string::npos && after.find('%') == std::string::npos;
    mCodeOffset = text::CharCount(before);
    for (long long n = s.firstClass; n <= s.lastClass; ++n) {
        const std::string code = ClassCode(s, n);
        mCodes.push_back(code);
        mPatterns.push_back(PatternOf(pattern, code));
        if (code.find_first_of("%_") != std::string::npos)
            mShaped = false;
        if (mShaped) {
            Shape& shape = mByLength[text::CharCount(mPatterns.back())];
            shape.codeChars = text::CharCount(code);
            shape.byCode[text::Lower(code)] = mCodes.size() - 1;
        }
    }
}

long long ClassAssignment::classOf(const db::Value& examNumber, const db::Value& cls) const {
    if (mPredefined)
        return byClassValue(cls);
    if (db::IsNull(examNumber))
        return -1;
    return byExamNumber(db::Query::ToText(examNumber));
}

long long ClassAssignment::byClassValue(const db::Value& cls) const {
    if (db::IsNull(cls))
        return -1;
    if (const auto* i = std::get_if<std::int64_t>(&cls)) {
        auto it = mByNumber.find(static_cast<double>(*i));
        return it == mByNumber.end() ? -1 : static_cast<long long>(it->second);
    }
    if (const auto* d = std::get_if<double>(&cls)) {
        auto it = mByNumber.find(*d);
        return it == mByNumber.end() ? -1 : static_cast<long long>(it->second);
    }
    auto it = mByText.find(std::get<std::string>(cls));
    return it == mByText.end() ? -1 : static_cast<long long>(it->second);
}

long long ClassAssignment::byExamNumber(const std::string& id) const {
    if (mShaped) {
        auto shape = mByLength.find(text::CharCount(id));
        if (shape == mByLength.end())
            return -1;
        const std::string candidate =
            text::Lower(Substring(id, mCodeOffset, shape->second.codeChars));
        auto it = shape->second.byCode.find(candidate);
        if (it == shape->second.byCode.end() || !Like(mPatterns[it->second], id))
            return -1;
        return static_cast<long long>(it->second);
    }
    for (std::size_t i = 0; i < mPatterns.size(); ++i)
        if (Like(mPatterns[i], id))
            return static_cast<long long>(i);
    return -1;
}

namespace {

// The classes must be ones the class code can write, and few enough to list:
// a code of 2 characters ends at class 99.
bool ClassRangeFits(const ClassSettings& s, core::Ui& ui, const std::string& caption) {
    constexpr long long kMostClasses = 100000;
    long long most = kMostClasses;
    if (s.codeLength > 0 && s.codeLength < 18) {
        long long power = 1;
        for (int i = 0; i < s.codeLength; ++i)
            power *= 10;
        most = std::min(most, power - 1);
    }
    if (s.firstClass >= 0 && s.lastClass <= most && s.lastClass - s.firstClass < kMostClasses)
        return true;
    ui.message("错误: 班级编号 " + std::to_string(s.firstClass) + " 到 " +
                   std::to_string(s.lastClass) + " 超出范围。班级编号长度为 " +
                   std::to_string(s.codeLength) + " 时，班级编号只能从 0 到 " +
                   std::to_string(most) + "。",
               caption, core::Icon::Error);
    return false;
}

} // namespace

const char* ClassPatternProblem(const ClassSettings& s) {
    if (s.prefixMode && s.prefix.empty())
        return "考号前缀设置错误。";
    if (!s.prefixMode && s.startPosition == 0)
        return "班级编号起始位设置错误。";
    long long v = s.totalLength -
                  (s.prefixMode ? static_cast<long long>(text::GbkWidth(s.prefix)) : 0) -
                  s.codeLength;
    if (v <= 0)
        return "错误: 得到小于等于零的考号中可变字符长度。";
    if (s.firstClass > s.lastClass)
        return "错误: 班别大小顺序不对。应该从小到大。";
    return nullptr;
}

bool ClassSettingsAreSound(const ClassSettings& s, core::Ui& ui, const std::string& caption) {
    if (const char* problem = ClassPatternProblem(s)) {
        ui.message(problem, caption, core::Icon::Error);
        return false;
    }
    return ClassRangeFits(s, ui, caption);
}

std::vector<std::string> PredefinedClassCodes(db::Connection& connection) {
    db::Query q(connection);
    q.setSql("SELECT DISTINCT StudClass FROM ids ORDER BY StudClass");
    q.open();
    std::vector<std::string> codes;
    for (q.first(); !q.eof(); q.next())
        codes.push_back(text::Trim(db::Query::ToText(q.value(0))));
    q.close();
    return codes;
}

db::Value AsClassColumn(const db::Value& studClass) {
    const auto* t = std::get_if<std::string>(&studClass);
    if (!t || !IsDecimalLiteral(*t))
        return studClass;
    return std::strtod(t->c_str(), nullptr);
}

} // namespace stats
