#include "core/About.h"

#include <gtest/gtest.h>

namespace {

TEST(About, FreeMemoryInThousandsOfBytes) {
    EXPECT_EQ(core::FreeMemoryText(2147483648ULL), "可用物理内存: 2,147,483 KB");
    EXPECT_EQ(core::FreeMemoryText(999), "可用物理内存: 0 KB");
    EXPECT_EQ(core::FreeMemoryText(1000), "可用物理内存: 1 KB");
    EXPECT_EQ(core::FreeMemoryText(999999999), "可用物理内存: 999,999 KB");
}

TEST(About, TheHomeFolderLine) {
    EXPECT_EQ(core::HomeFolderText("/home/li/.local/share/quillory"),
              "数据文件夹: /home/li/.local/share/quillory");
}

} // namespace
