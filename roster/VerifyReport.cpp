#include "roster/VerifyReport.h"

#include "roster/CellText.h"

#include <array>

namespace roster {
namespace {

constexpr std::array<const char*, 6> kSectionNumbers{"一", "二", "三", "四", "五", "六"};

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string s;
    for (const auto& p : parts) {
        if (p.empty())
            continue;
        if (!s.empty())
            s += separator;
        s += p;
    }
    return s;
}

std::string Place(const SheetList& sheets, std::uint32_t i) {
    return "第 " + std::to_string(sheets.record(i)) + " 条";
}

std::string Suggestions(const Roster* roster, const std::vector<Suggestion>& list) {
    if (!roster)
        return {};
    if (list.empty())
        return "没有相近的缺考考号";
    std::vector<std::string> parts;
    for (const Suggestion& s : list)
        parts.push_back(SuggestionText(*roster, s));
    return "可能是: " + Join(parts, "、");
}

const char* MalformationText(Malformation m) {
    switch (m) {
    case Malformation::Empty:
        return "考号为空";
    case Malformation::Characters:
        return "含有异常字符";
    case Malformation::Length:
        return "位数与多数考号不同";
    }
    return "";
}

const char* KindText(CharKind k) {
    switch (k) {
    case CharKind::Digits:
        return "数字";
    case CharKind::Alphanumeric:
        return "字母和数字";
    case CharKind::Other:
        return "字符";
    }
    return "";
}

// Builds the numbered sections.
class ReportWriter {
  public:
    ReportWriter(const SheetList& sheets, const Roster* roster, const VerifyResult& r)
        : mSheets(sheets), mRoster(roster), mR(r) {}

    std::vector<std::string> write(const std::string& tableName) {
        heading(tableName);
        duplicates();
        if (mRoster) {
            unknown();
            absent();
            malformed();
        } else {
            malformed();
            gaps();
        }
        return std::move(mLines);
    }

  private:
    void heading(const std::string& tableName) {
        mLines.push_back("考号核对: " + tableName);
        mLines.push_back("答卷 " + std::to_string(mR.sheetCount) + " 份");
        if (mRoster)
            mLines.push_back("学生名单 " + std::to_string(mR.studentCount) + " 人，其中 " +
                             std::to_string(mR.studentsMatched) + " 人有答卷");
        else
            mLines.push_back("没有学生名单: 只查重复、异常的考号和各班内的缺号");
        if (mR.majority.length > 0)
            mLines.push_back("多数考号为 " + std::to_string(mR.majority.length) + " 位" +
                             KindText(mR.majority.kind));
    }

    void section(const std::string& title, std::size_t count) {
        mLines.emplace_back();
        mLines.push_back(std::string(kSectionNumbers[mSection++]) + "、" + title);
        if (count == 0)
            mLines.push_back("  无");
    }

    void duplicates() {
        section("重复的考号: " + std::to_string(mR.duplicates.size()) + " 个考号，" +
                    std::to_string(mR.duplicateSheets()) + " 份答卷",
                mR.duplicates.size());
        for (const DuplicateGroup& g : mR.duplicates) {
            std::vector<std::string> sheets;
            for (std::uint32_t i : g.sheets)
                sheets.push_back(Join({Place(mSheets, i), ScoreText(mSheets.score(i))}, " "));
            std::string line =
                "  " + std::string(mSheets.id(g.sheets[0])) + "  " + Join(sheets, "；");
            if (!g.suggestions.empty())
                line += "  " + Suggestions(mRoster, g.suggestions);
            mLines.push_back(line);
        }
    }

    void unknown() {
        section("不在名单上的考号: " + std::to_string(mR.unknown.size()) + " 份答卷",
                mR.unknown.size());
        for (const UnknownSheet& u : mR.unknown)
            mLines.push_back("  " + Join({std::string(mSheets.id(u.sheet)), Place(mSheets, u.sheet),
                                          ScoreText(mSheets.score(u.sheet)),
                                          Suggestions(mRoster, u.suggestions)},
                                         "  "));
    }

    void absent() {
        section("缺考学生（名单上没有答卷的）: " + std::to_string(mR.absentCount()) + " 人，" +
                    std::to_string(mR.absent.size()) + " 个班",
                mR.absent.size());
        for (const AbsentClass& a : mR.absent) {
            mLines.push_back("  " + ClassLabel(a.className) + "（" +
                             std::to_string(a.students.size()) + " 人）");
            for (std::uint32_t s : a.students)
                mLines.push_back(
                    "    " +
                    Join({std::string(mRoster->id(s)), std::string(mRoster->name(s))}, "  "));
        }
    }

    void malformed() {
        section("考号异常的答卷: " + std::to_string(mR.malformed.size()) + " 份",
                mR.malformed.size());
        for (const MalformedSheet& m : mR.malformed) {
            std::string why = MalformationText(m.why);
            if (m.why == Malformation::Length)
                why = "长度为 " + std::to_string(mSheets.id(m.sheet).size()) + " 位，多数为 " +
                      std::to_string(mR.majority.length) + " 位";
            const std::string id = m.why == Malformation::Empty ? std::string("（空）")
                                                                : std::string(mSheets.id(m.sheet));
            mLines.push_back(
                "  " + Join({Place(mSheets, m.sheet), id, why, ScoreText(mSheets.score(m.sheet)),
                             m.why == Malformation::Empty ? std::string()
                                                          : Suggestions(mRoster, m.suggestions)},
                            "  "));
        }
    }

    void gaps() {
        section("班内缺号: " + std::to_string(mR.gaps.size()) + " 个班，共 " +
                    std::to_string(mR.missingInGaps()) + " 个",
                mR.gaps.size());
        for (const ClassGaps& c : mR.gaps) {
            std::vector<std::string> parts;
            for (const NumberGap& g : c.gaps)
                parts.push_back(g.count == 1 ? g.first
                                             : g.first + " 至 " + g.last + "（" +
                                                   std::to_string(g.count) + " 个）");
            mLines.push_back("  " + ClassLabel(c.className) + ": " + Join(parts, "、"));
        }
        if (mR.unclassified)
            mLines.push_back("  另有 " + std::to_string(mR.unclassified) +
                             " 个考号按班级设置分不出班级，未查缺号");
    }

    const SheetList& mSheets;
    const Roster* mRoster;
    const VerifyResult& mR;
    std::vector<std::string> mLines;
    std::size_t mSection = 0;
};

} // namespace

std::string VerifyReportName(const std::string& tableName) {
    return "考号核对_" + tableName + ".txt";
}

std::string ScoreText(std::optional<double> score) {
    return score ? FormatNumber(*score) + " 分" : std::string();
}

std::string ClassLabel(std::string_view className) {
    if (className.empty())
        return "未分班";
    if (className.find_first_not_of("0123456789") == std::string_view::npos)
        return std::string(className) + "班";
    return std::string(className);
}

std::string SuggestionText(const Roster& roster, const Suggestion& s) {
    std::string detail = ClassLabel(roster.className(s.student));
    detail += s.closeness == Closeness::OneDigit ? "，一位不同" : "，两位颠倒";
    return Join({std::string(roster.id(s.student)), std::string(roster.name(s.student))}, " ") +
           "（" + detail + "）";
}

std::vector<std::string> VerifyReportLines(const std::string& tableName, const SheetList& sheets,
                                           const Roster* roster, const VerifyResult& result) {
    return ReportWriter(sheets, roster, result).write(tableName);
}

} // namespace roster
