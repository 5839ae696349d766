#include "core/Config.h"

#include "core/Ui.h"
#include "platform/text/Gbk.h"
#include "platform/text/TextFile.h"

// Values are bytes here; GBK is converted by the program itself. Debian's
// header holds the member definitions behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cerrno>
#include <cstdlib>

namespace core {
namespace {

std::string Read(CSimpleIniA& ini, const char* section, const char* key, const char* fallback) {
    const char* v = ini.GetValue(section, key, nullptr);
    return v ? text::FromGbk(v) : std::string(fallback);
}

// A value that is not an integer counts as missing.
bool ReadBool(CSimpleIniA& ini, const char* section, const char* key, bool fallback) {
    const char* v = ini.GetValue(section, key, nullptr);
    if (!v || !*v)
        return fallback;
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(v, &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return fallback;
    return n != 0;
}

// The value of [General] TextEncoding as it stands in the file; empty when missing.
std::string EncodingValue(CSimpleIniA& ini) {
    return text::Trim(Read(ini, "General", "TextEncoding", ""));
}

// A value that names no encoding counts as GBK; ConfigProblems says so.
text::Encoding ReadEncoding(CSimpleIniA& ini) {
    return text::EncodingNamed(EncodingValue(ini)).value_or(text::Encoding::Gbk);
}

} // namespace

void LoadConfig(const std::filesystem::path& file, FieldSettings& f) {
    f.FullMatch = true;
    f.TextEncoding = text::Encoding::Gbk;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        f.Content = "content";
        f.Score = "score";
        f.ID = "BH";
        f.Flag = "flag";
        f.Subject = "subject";
        return;
    }
    CSimpleIniA ini(false, false, false);
    ini.LoadFile(file.c_str());
    f.Content = Read(ini, "Fields", "Content", "Content");
    f.Score = Read(ini, "Fields", "Score", "Score");
    f.ID = Read(ini, "Fields", "ID", "BH");
    f.Flag = Read(ini, "Fields", "Flag", "Flag");
    f.Subject = Read(ini, "Fields", "Subject", "Subject");
    f.FullMatch = ReadBool(ini, "General", "FullMatch", true);
    f.YuwenM = ReadBool(ini, "General", "yuwen_m", false);
    f.CodePage = std::atoi(Read(ini, "General", "CodePage", "0").c_str());
    f.TextEncoding = ReadEncoding(ini);
}

std::vector<std::string> ConfigProblems(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return {};
    CSimpleIniA ini(false, false, false);
    ini.LoadFile(file.c_str());
    std::vector<std::string> problems;
    const std::string encoding = EncodingValue(ini);
    if (!encoding.empty() && !text::EncodingNamed(encoding))
        problems.push_back("config.ini 中 [General] 的 TextEncoding=" + encoding +
                           " 不是可用的编码（只能是 GBK 或 UTF-8），报告按 GBK 写出。");
    return problems;
}

bool SaveConfig(const std::filesystem::path& file, const FieldSettings& f) {
    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    std::error_code ec;
    if (std::filesystem::exists(file, ec) && ini.LoadFile(file.c_str()) < 0)
        return false;
    auto set = [&](const char* section, const char* key, const std::string& value) {
        return ini.SetValue(section, key, text::ToGbk(value).c_str()) >= 0;
    };
    bool ok = set("Fields", "Content", f.Content) && set("Fields", "Score", f.Score) &&
              set("Fields", "ID", f.ID) && set("Fields", "Flag", f.Flag) &&
              set("Fields", "Subject", f.Subject) &&
              set("General", "FullMatch", f.FullMatch ? "1" : "0");
    std::string bytes;
    if (!ok || ini.Save(bytes, false) < 0)
        return false;
    try {
        text::WriteWhole(file, bytes); // a full disk never leaves half a config.ini
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void SaveConfig(const std::filesystem::path& file, const FieldSettings& fields, Ui& ui) {
    if (!SaveConfig(file, fields))
        ui.message("", "不能保存配置信息。", Icon::Error);
}

} // namespace core
