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

std::string Read(CSimpleIniA& ini, const char* section, const char* key,
                 const char* fallback) {
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

} // namespace

void LoadConfig(const std::filesystem::path& file, FieldSettings& f) {
    f.FullMatch = true;
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
    f.yuwen_m = ReadBool(ini, "General", "yuwen_m", false);
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
