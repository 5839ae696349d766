#pragma once

#include <cstdint>
#include <string>

// The about box's lines about the running machine.
namespace app {

// The name of a Windows version record: "Windows98SE", "WindowsXP", ...;
// "Windows" for any combination the table does not know.
[[nodiscard]] std::string WindowsName(int platform, int major, int minor, std::uint32_t build);

// name + " " + major.minor.build + " " + service pack (a one-character
// service-pack text counts as empty). The build is the low 16 bits outside
// the NT family.
[[nodiscard]] std::string WindowsLine(int platform, int major, int minor, std::uint32_t build,
                                      const std::string& servicePack);

// "可用物理内存: 2,147,483 KB": bytes / 1000, whole, with thousands separators.
[[nodiscard]] std::string FreeMemoryText(std::uint64_t bytes);

inline constexpr const char* AboutProduct = "Brevanto Version 1.70";
inline constexpr const char* AboutNotice = "Quillory 项目出品，欢迎来信";
inline constexpr const char* AboutContact = "即时通讯: quillory-support";
inline constexpr const char* AboutMail = "support@quillory.example    ";
inline constexpr const char* AboutMailHint = "mailto: help@quillory.example";

} // namespace app
