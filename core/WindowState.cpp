#include "core/WindowState.h"

#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"

// Values are bytes here; GBK is converted by the program itself.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <charconv>

namespace core {
namespace {

constexpr const char* kWindow = "Window";
constexpr const char* kWidths = "ColumnWidths";
constexpr const char* kRecent = "Recent";

std::optional<int> Number(std::string_view s) {
    int n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return n;
}

std::optional<int> ReadNumber(const CSimpleIniA& ini, const char* section, const char* key) {
    const char* v = ini.GetValue(section, key, nullptr);
    return v ? Number(v) : std::nullopt;
}

std::optional<WindowPlace> ReadPlace(const CSimpleIniA& ini) {
    auto x = ReadNumber(ini, kWindow, "X");
    auto y = ReadNumber(ini, kWindow, "Y");
    auto w = ReadNumber(ini, kWindow, "Width");
    auto h = ReadNumber(ini, kWindow, "Height");
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0)
        return std::nullopt;
    return WindowPlace{*x, *y, *w, *h, ReadNumber(ini, kWindow, "Maximized").value_or(0) != 0};
}

// "BH:80,content:300": the widths of one table; items that do not read are left out.
std::vector<ColumnWidth> ParseWidths(std::string_view text) {
    std::vector<ColumnWidth> out;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t colon = item.rfind(':');
        if (colon == std::string_view::npos || colon == 0)
            continue;
        if (auto w = Number(item.substr(colon + 1)); w && *w > 0)
            out.push_back({std::string(item.substr(0, colon)), *w});
    }
    return out;
}

std::string WidthsText(const std::vector<ColumnWidth>& widths) {
    std::string out;
    for (const auto& w : widths) {
        if (w.column.empty() || w.column.find_first_of(",\r\n") != std::string::npos ||
            w.width <= 0)
            continue;
        if (!out.empty())
            out += ',';
        out += w.column + ':' + std::to_string(w.width);
    }
    return out;
}

// A table name that reads back as the same key of the file.
bool UsableKey(const std::string& name) {
    return !name.empty() && name.find_first_of("=[];\r\n") == std::string::npos &&
           text::Trim(name) == name;
}

void WriteSections(CSimpleIniA& ini, const WindowState& state) {
    for (const char* section : {kWindow, kWidths, kRecent})
        ini.Delete(section, nullptr);
    if (const auto& p = state.place) {
        ini.SetLongValue(kWindow, "X", p->x);
        ini.SetLongValue(kWindow, "Y", p->y);
        ini.SetLongValue(kWindow, "Width", p->width);
        ini.SetLongValue(kWindow, "Height", p->height);
        ini.SetLongValue(kWindow, "Maximized", p->maximized ? 1 : 0);
    }
    for (const auto& [table, widths] : state.columnWidths) {
        const std::string value = WidthsText(widths);
        if (UsableKey(table) && !value.empty())
            ini.SetValue(kWidths, text::ToGbk(table).c_str(), text::ToGbk(value).c_str());
    }
    for (std::size_t i = 0; i < state.recent.size() && i < kRecentCount; ++i)
        ini.SetValue(kRecent, ("File" + std::to_string(i + 1)).c_str(),
                     text::ToGbk(state.recent[i]).c_str());
}

} // namespace

const std::vector<ColumnWidth>* WindowState::widthsOf(const std::string& table) const {
    for (const auto& [name, widths] : columnWidths)
        if (text::EqualNoCase(name, table))
            return &widths;
    return nullptr;
}

void WindowState::setWidths(const std::string& table, std::vector<ColumnWidth> widths) {
    std::erase_if(columnWidths,
                  [&](const auto& entry) { return text::EqualNoCase(entry.first, table); });
    columnWidths[table] = std::move(widths);
}

WindowState LoadWindowState(const std::filesystem::path& configFile) {
    WindowState state;
    std::error_code ec;
    if (!std::filesystem::exists(configFile, ec))
        return state;
    CSimpleIniA ini(false, false, false);
    if (ini.LoadFile(configFile.c_str()) < 0)
        return state;
    state.place = ReadPlace(ini);
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(kWidths, keys);
    for (const auto& key : keys)
        if (auto widths = ParseWidths(text::FromGbk(ini.GetValue(kWidths, key.pItem, "")));
            !widths.empty())
            state.setWidths(text::FromGbk(key.pItem), std::move(widths));
    for (std::size_t i = 1; i <= kRecentCount; ++i) {
        const char* v = ini.GetValue(kRecent, ("File" + std::to_string(i)).c_str(), nullptr);
        if (!v || !*v)
            continue;
        std::string file = text::FromGbk(v);
        if (std::find(state.recent.begin(), state.recent.end(), file) == state.recent.end())
            state.recent.push_back(std::move(file));
    }
    return state;
}

bool SaveWindowState(const std::filesystem::path& configFile, const WindowState& state) {
    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    std::error_code ec;
    if (std::filesystem::exists(configFile, ec) && ini.LoadFile(configFile.c_str()) < 0)
        return false;
    WriteSections(ini, state);
    std::string bytes;
    if (ini.Save(bytes, false) < 0)
        return false;
    try {
        text::WriteWhole(configFile, bytes);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void AddRecent(std::vector<std::string>& recent, const std::string& file) {
    RemoveRecent(recent, file);
    recent.insert(recent.begin(), file);
    if (recent.size() > kRecentCount)
        recent.resize(kRecentCount);
}

void RemoveRecent(std::vector<std::string>& recent, const std::string& file) {
    std::erase(recent, file);
}

} // namespace core
