#include "roster/CellText.h"
#include "roster/Error.h"
#include "roster/Readers.h"

#include "platform/text/Gbk.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace roster {
namespace {

// The separator the first record holds most of, outside quotes.
char GuessSeparator(std::string_view s) {
    std::array<std::size_t, 3> counts{};
    const std::array<char, 3> candidates{',', '\t', ';'};
    bool quoted = false;
    for (char c : s) {
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == '\n' || c == '\r'))
            break;
        if (quoted)
            continue;
        for (std::size_t k = 0; k < candidates.size(); ++k)
            if (c == candidates[k])
                ++counts[k];
    }
    std::size_t best = 0;
    for (std::size_t k = 1; k < candidates.size(); ++k)
        if (counts[k] > counts[best])
            best = k;
    return counts[best] == 0 ? ',' : candidates[best];
}

// Walks the text once, field by field.
class CsvParser {
public:
    CsvParser(std::string_view s, char separator) : mText(s), mSeparator(separator) {}

    TextRows parse(const std::string& name) {
        TextRows rows;
        TextRow row;
        std::string field;
        std::size_t record = 1;
        while (mAt < mText.size()) {
            const char c = mText[mAt];
            if (c == '"' && field.empty() && !mFieldWasQuoted) {
                readQuoted(field, name, record);
            } else if (c == mSeparator) {
                endField(row, field);
                ++mAt;
            } else if (c == '\r' || c == '\n') {
                endField(row, field);
                rows.push_back(std::move(row));
                row.clear();
                mAt += (c == '\r' && mAt + 1 < mText.size() && mText[mAt + 1] == '\n') ? 2 : 1;
                ++record;
            } else {
                field += c; // a quote inside an unquoted field is an ordinary character
                ++mAt;
            }
        }
        if (!field.empty() || !row.empty() || mFieldWasQuoted) {
            endField(row, field);
            rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    void endField(TextRow& row, std::string& field) {
        row.push_back(std::move(field));
        field.clear();
        mFieldWasQuoted = false;
    }

    // From the opening quote to the closing one; "" stands for one quote.
    void readQuoted(std::string& field, const std::string& name, std::size_t record) {
        ++mAt;
        while (true) {
            const std::size_t quote = mText.find('"', mAt);
            if (quote == std::string_view::npos)
                throw Error(ListProblem(name, "第 " + std::to_string(record) +
                                                  " 行的引号没有结束（缺少右引号）"));
            field.append(mText.substr(mAt, quote - mAt));
            mAt = quote + 1;
            if (mAt < mText.size() && mText[mAt] == '"') {
                field += '"';
                ++mAt;
                continue;
            }
            break;
        }
        mFieldWasQuoted = true;
    }

    std::string_view mText;
    char mSeparator;
    std::size_t mAt = 0;
    bool mFieldWasQuoted = false;
};

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(ListProblem(file, std::string("无法打开文件（") + std::strerror(errno) + "）"));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw Error(ListProblem(file, "读取文件时出错"));
    return bytes.str();
}

} // namespace

DecodedText DecodeText(std::string_view bytes) {
    DecodedText d;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        d.utf8 = std::string(bytes.substr(3));
        d.encoding = TextEncoding::Utf8Bom;
    } else if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        const bool little = bytes[0] == '\xFF';
        d.utf8 = text::ToUtf8(bytes.substr(2), little ? 1200 : 1201);
        d.encoding = TextEncoding::Utf16;
    } else if (IsUtf8(bytes)) {
        d.utf8 = std::string(bytes);
        d.encoding = TextEncoding::Utf8;
    } else {
        d.utf8 = text::FromGbk(bytes);
        d.encoding = TextEncoding::Gbk;
    }
    return d;
}

TextRows ParseCsv(std::string_view utf8, const std::string& name) {
    return CsvParser(utf8, GuessSeparator(utf8)).parse(name);
}

TextRows ReadCsv(const std::filesystem::path& file) {
    const DecodedText text = DecodeText(ReadAll(file));
    return ParseCsv(text.utf8, file.string());
}

} // namespace roster
