#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The about box's lines about the running machine.
namespace core {

// "可用物理内存: 2,147,483 KB": bytes / 1000, whole, with thousands separators.
[[nodiscard]] std::string FreeMemoryText(std::uint64_t bytes);

// "数据文件夹: /home/li/.local/share/quillory": where data.mdb, config.ini
// and the reports are, for the status bar and the about box.
[[nodiscard]] std::string HomeFolderText(const std::filesystem::path& home);

inline constexpr const char* AboutProduct = "Brevanto Version 1.70";
inline constexpr const char* AboutNotice = "Quillory 项目出品，欢迎来信";
inline constexpr const char* AboutContact = "即时通讯: quillory-support";
inline constexpr const char* AboutMail = "support@quillory.example    ";
inline constexpr const char* AboutMailHint = "mailto: help@quillory.example";

} // namespace core
