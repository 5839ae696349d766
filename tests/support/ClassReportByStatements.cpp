#include "tests/support/ClassReportByStatements.h"

#include "platform/db/JetSql.h"
#include "platform/db/Query.h"
#include "stats/ClassAssignment.h"

namespace testsupport {
namespace {

using db::jet::Bracket;

std::string SumList(int N) {
    std::string list;
    for (int q = 1; q <= N; ++q)
        list += (q > 1 ? ", SUM(f" : "SUM(f") + std::to_string(q) + ") AS ff" + std::to_string(q);
    return list;
}

} // namespace

std::vector<std::string> ReportByStatements(core::Workspace& ws, const stats::ClassSettings& s) {
    ws.connect();
    db::Query q(ws.connection);
    const int N = s.questions;
    const std::string select =
        "SELECT COUNT(*) AS count1, " + SumList(N) + " FROM " + Bracket(ws.TableName);
    auto total = [&] {
        double t = 0;
        for (int k = 1; k <= N; ++k)
            t += q.asFloat("ff" + std::to_string(k));
        return t;
    };
    q.close();
    q.setSql(select);
    q.open();
    std::vector<std::string> summary = {stats::GradeLine(q.asInteger("count1"), total())};
    std::vector<std::string> details;
    std::vector<std::string> codes;
    if (s.predefined) {
        codes = stats::PredefinedClassCodes(ws.connection);
    } else {
        for (long long n = s.firstClass; n <= s.lastClass; ++n)
            codes.push_back(stats::ClassCode(s, n));
    }
    for (const auto& code : codes) {
        const std::string where = s.predefined
                                      ? " WHERE CLS = " + code
                                      : " WHERE " + Bracket(ws.Fields.ID) + " LIKE :ClassID ";
        q.close();
        q.setSql(select);
        q.addSql(where);
        q.setParam("ClassID", stats::PatternOf(stats::ClassPattern(s), code));
        q.prepare();
        q.open();
        const long long count = q.asInteger("count1");
        if (count < 1)
            continue;
        summary.push_back(stats::ClassLine(code, count, total()));
        q.close();
        q.setSql("SELECT * FROM " + Bracket(ws.TableName) + " ");
        q.addSql(where);
        q.addSql((s.predefined ? " ORDER BY " : "ORDER BY ") + Bracket(ws.Fields.ID) + " ");
        q.prepare();
        q.open();
        stats::OptionCounts counts(static_cast<std::size_t>(N + 1));
        for (q.first(); !q.eof(); q.next())
            stats::CountOptions(q.asText(ws.Fields.Content), N, counts);
        auto block = stats::DetailLines(code, count, counts, N);
        details.insert(details.end(), block.begin(), block.end());
    }
    q.close();
    summary.emplace_back();
    summary.insert(summary.end(), details.begin(), details.end());
    return summary;
}

} // namespace testsupport
