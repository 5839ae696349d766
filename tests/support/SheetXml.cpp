#include "tests/support/SheetXml.h"

#include "tests/support/Zip.h"

#include <stdexcept>

namespace testsupport {
namespace {

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const std::size_t semi = s.find(';', i);
        const std::string entity = s.substr(i + 1, semi - i - 1);
        out += entity == "amp"    ? "&"
               : entity == "lt"   ? "<"
               : entity == "gt"   ? ">"
               : entity == "quot" ? "\""
                                  : "'";
        i = semi;
    }
    return out;
}

std::string Attribute(const std::string& tag, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const std::size_t at = tag.find(key);
    if (at == std::string::npos)
        return {};
    const std::size_t from = at + key.size();
    return tag.substr(from, tag.find('"', from) - from);
}

// The text between the first <name ...> and </name> inside `body`.
std::string Element(const std::string& body, const std::string& name) {
    std::size_t open = body.find("<" + name);
    while (open != std::string::npos && body[open + name.size() + 1] != '>' &&
           body[open + name.size() + 1] != ' ')
        open = body.find("<" + name, open + 1);
    if (open == std::string::npos)
        return {};
    const std::size_t from = body.find('>', open) + 1;
    return body.substr(from, body.find("</" + name + ">", from) - from);
}

} // namespace

std::vector<XlsxCell> SheetCells(const std::string& xml) {
    std::vector<XlsxCell> cells;
    std::size_t at = xml.find("<sheetData");
    while ((at = xml.find("<c r=\"", at)) != std::string::npos) {
        const std::size_t headEnd = xml.find('>', at);
        const std::string head = xml.substr(at, headEnd - at + 1);
        XlsxCell c;
        c.ref = Attribute(head, "r");
        c.type = Attribute(head, "t");
        const std::string s = Attribute(head, "s");
        c.style = s.empty() ? 0 : std::stoi(s);
        if (head[head.size() - 2] == '/') {
            at = headEnd;
        } else {
            const std::size_t end = xml.find("</c>", headEnd);
            const std::string body = xml.substr(headEnd + 1, end - headEnd - 1);
            c.value = Unescape(c.type == "inlineStr" ? Element(body, "t") : Element(body, "v"));
            at = end;
        }
        cells.push_back(c);
    }
    return cells;
}

std::map<std::string, XlsxCell> CellMap(const std::string& xml) {
    std::map<std::string, XlsxCell> map;
    for (auto& c : SheetCells(xml))
        map[c.ref] = c;
    return map;
}

std::vector<std::string> SheetNames(const std::filesystem::path& xlsx) {
    const auto book = ReadZipEntry(xlsx, "xl/workbook.xml");
    if (!book)
        throw std::runtime_error("no workbook in " + xlsx.string());
    std::vector<std::string> names;
    std::size_t at = 0;
    while ((at = book->find("<sheet ", at)) != std::string::npos) {
        const std::size_t end = book->find('>', at);
        names.push_back(Unescape(Attribute(book->substr(at, end - at + 1), "name")));
        at = end;
    }
    return names;
}

std::string SheetXml(const std::filesystem::path& xlsx, int n) {
    const auto xml = ReadZipEntry(xlsx, "xl/worksheets/sheet" + std::to_string(n) + ".xml");
    if (!xml)
        throw std::runtime_error("no worksheet " + std::to_string(n) + " in " + xlsx.string());
    return *xml;
}

std::string CellRef(long long row, int col) {
    std::string letters;
    for (int c = col + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

} // namespace testsupport
