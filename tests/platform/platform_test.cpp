#include <gtest/gtest.h>

#include <climits>

#include "platform/platform.h"
#include "support/temp_root.h"

namespace {

TEST(Platform, AtoiReadsTheLeadingNumberAndSaturates) {
    const std::pair<std::string, int> cases[] = {
        {"", 0},           {"abc", 0},         {"12abc", 12},     {"  \t\n-7x", -7},
        {"+5", 5},         {"- 5", 0},         {"0009", 9},       {"2147483647", INT_MAX},
        {"2147483648", INT_MAX}, {"-2147483648", INT_MIN}, {"-99999999999999999999", INT_MIN},
        {std::string("4\0" "2", 3), 4},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(platform::atoiValue(text), value) << text;
}

TEST(Platform, ScanIntReadsLikeOneScanfConversion) {
    std::string text = " 1920\n1080 x";
    std::size_t pos = 0;
    int v = 0;
    ASSERT_TRUE(platform::scanInt(text, pos, v));
    EXPECT_EQ(v, 1920);
    ASSERT_TRUE(platform::scanInt(text, pos, v));
    EXPECT_EQ(v, 1080);
    EXPECT_FALSE(platform::scanInt(text, pos, v));
    EXPECT_EQ(pos, 10u);
    pos = 0;
    EXPECT_FALSE(platform::scanInt("-", pos, v));
}

using PlatformFiles = support::TempRoot;

TEST_F(PlatformFiles, DirectoryIsNoReadableFile) {
    write("/mnt/a.ini", "abc");
    EXPECT_EQ(platform::readFile("/mnt/a.ini", 2), "ab");
    EXPECT_EQ(platform::readFile("/mnt"), std::nullopt);
    EXPECT_EQ(platform::readFile("/mnt/none.ini"), std::nullopt);
}

}  // namespace
