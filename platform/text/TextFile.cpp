#include "platform/text/TextFile.h"

#include "platform/text/Gbk.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace text {
namespace {

void Write(const std::filesystem::path& file, const std::vector<std::string>& lines,
           std::ios::openmode mode) {
    std::ofstream out(file, std::ios::binary | mode);
    if (!out)
        throw std::runtime_error("不能写入文件 " + file.string() + ": " + std::strerror(errno));
    out << GbkLines(lines);
    out.close();
    if (!out)
        throw std::runtime_error("不能写入文件 " + file.string() + ": " + std::strerror(errno));
}

} // namespace

std::string GbkLines(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += ToGbk(line);
        bytes += "\r\n";
    }
    return bytes;
}

void SaveLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    Write(file, lines, std::ios::trunc);
}

void AppendLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    Write(file, lines, std::ios::app);
}

std::vector<std::string> LoadLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("不能读取文件 " + file.string() + ": " + std::strerror(errno));
    std::stringstream ss;
    ss << in.rdbuf();
    std::string all = FromGbk(ss.str());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t nl = all.find('\n', start);
        std::size_t end = nl == std::string::npos ? all.size() : nl;
        std::size_t stop = end;
        if (stop > start && all[stop - 1] == '\r')
            --stop;
        lines.push_back(all.substr(start, stop - start));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

} // namespace text
