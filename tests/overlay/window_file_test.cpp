// The overlay window file routines on their own.
#include <gtest/gtest.h>

#include "overlay/overlay.h"
#include "support/temp_root.h"

namespace {

using overlay::FileStatus;
using overlay::IntFields;

using WindowFile = support::TempRoot;

TEST_F(WindowFile, ReadsTheRequestedNumberOfIntegers) {
    write("/mnt/m.ini", "42 7x -3\n1 5 6 7 8 9 10 11 12 13 14 15 16 17");
    IntFields v{};
    ASSERT_EQ(overlay::readIntFields("/mnt/m.ini", 1, v), FileStatus::Ok);
    EXPECT_EQ(v[0], 42);
    EXPECT_EQ(v[1], 0);

    ASSERT_EQ(overlay::readIntFields("/mnt/m.ini", 3, v), FileStatus::Ok);
    EXPECT_EQ(v[0], 42);
    EXPECT_EQ(v[1], 7);
    EXPECT_EQ(v[2], -3);  // "-3\n1" is one value: only spaces separate
    EXPECT_EQ(v[3], 0);

    ASSERT_EQ(overlay::readIntFields("/mnt/m.ini", 16, v), FileStatus::Ok);
    EXPECT_EQ(v[3], 5);
    EXPECT_EQ(v[15], 17);

    EXPECT_EQ(overlay::readIntFields("/mnt/m.ini", 0, v), FileStatus::OutOfLayout);
    EXPECT_EQ(overlay::readIntFields("/mnt/m.ini", 17, v), FileStatus::OutOfLayout);
    EXPECT_EQ(overlay::readIntFields("/mnt/none.ini", 10, v), FileStatus::CannotOpen);
}

TEST_F(WindowFile, ReplacesOnlyWhatKeepsTheLayout) {
    const std::string file = "1 10 20 300 200 0 5 6 7 8\n";
    const struct {
        const char* name;
        int n;
        std::string text;
        FileStatus status;
        std::string after;
    } cases[] = {
        {"first field", 1, "0", FileStatus::Ok, "0 10 20 300 200 0 5 6 7 8\n"},
        {"last field with its newline", 10, "9", FileStatus::Ok, "1 10 20 300 200 0 5 6 7 9"},
        {"field number 0", 0, "9", FileStatus::OutOfLayout, file},
        {"field the file does not have", 11, "9", FileStatus::OutOfLayout, file},
        {"empty text", 3, "", FileStatus::OutOfLayout, file},
        {"text with a space", 3, "4 5", FileStatus::OutOfLayout, file},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write("/mnt/m.ini", file);
        EXPECT_EQ(overlay::replaceField("/mnt/m.ini", c.text, c.n), c.status);
        EXPECT_EQ(read("/mnt/m.ini"), c.after);
    }
    EXPECT_EQ(overlay::replaceField("/mnt/none.ini", "1", 1), FileStatus::CannotOpen);
    EXPECT_EQ(read("/mnt/none.ini"), std::nullopt);
}

TEST_F(WindowFile, SingleFieldFileHasOnlyFieldOne) {
    write("/mnt/m.ini", "5");
    EXPECT_EQ(overlay::replaceField("/mnt/m.ini", "77", 1), FileStatus::Ok);
    EXPECT_EQ(read("/mnt/m.ini"), "77");
    EXPECT_EQ(overlay::replaceField("/mnt/m.ini", "1", 2), FileStatus::OutOfLayout);
}

}  // namespace
