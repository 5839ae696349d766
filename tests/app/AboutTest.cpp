#include "app/About.h"

#include <gtest/gtest.h>

namespace {

TEST(About, WindowsNamesByVersionRecord) {
    EXPECT_EQ(app::WindowsName(1, 4, 0, 950), "Windows95");
    EXPECT_EQ(app::WindowsName(1, 4, 0, 1110), "Windows95OSR2");
    EXPECT_EQ(app::WindowsName(1, 4, 10, 1998), "Windows98");
    EXPECT_EQ(app::WindowsName(1, 4, 10, 2222), "Windows98SE");
    EXPECT_EQ(app::WindowsName(1, 4, 10, 2000), "Windows");
    EXPECT_EQ(app::WindowsName(1, 4, 90, 3000), "WindowsME");
    EXPECT_EQ(app::WindowsName(2, 3, 51, 1057), "WindowsNT350");
    EXPECT_EQ(app::WindowsName(2, 4, 0, 1381), "WindowsNT40");
    EXPECT_EQ(app::WindowsName(2, 5, 0, 2195), "Windows2000");
    EXPECT_EQ(app::WindowsName(2, 5, 1, 2600), "WindowsXP");
    EXPECT_EQ(app::WindowsName(2, 5, 2, 3790), "Windows2003");
    EXPECT_EQ(app::WindowsName(2, 6, 0, 6000), "Windows");
    EXPECT_EQ(app::WindowsName(2, 10, 0, 19045), "Windows");
}

TEST(About, WindowsLine) {
    EXPECT_EQ(app::WindowsLine(2, 5, 1, 2600, "Service Pack 3"), "WindowsXP 5.1.2600 Service Pack 3");
    EXPECT_EQ(app::WindowsLine(2, 5, 1, 2600, ""), "WindowsXP 5.1.2600 ");
    EXPECT_EQ(app::WindowsLine(2, 5, 1, 2600, " "), "WindowsXP 5.1.2600 ") << "one character is no pack";
    EXPECT_EQ(app::WindowsLine(1, 4, 10, 0x040A08AE, "A"), "Windows98SE 4.10.2222 ")
        << "outside the NT family only the low 16 bits are the build";
}

TEST(About, FreeMemoryInThousandsOfBytes) {
    EXPECT_EQ(app::FreeMemoryText(2147483648ULL), "可用物理内存: 2,147,483 KB");
    EXPECT_EQ(app::FreeMemoryText(999), "可用物理内存: 0 KB");
    EXPECT_EQ(app::FreeMemoryText(1000), "可用物理内存: 1 KB");
    EXPECT_EQ(app::FreeMemoryText(999999999), "可用物理内存: 999,999 KB");
}

} // namespace
