// Encoder status block and the TTL/IDR readers, in process.
#include <gtest/gtest.h>

#include <map>

#include "capture/capture.h"
#include "support/in_process.h"

namespace {

using Files = std::map<std::string, std::string>;

struct StatusCase {
    const char* name;
    Files files;
    std::string block;
};

const std::string kDefaultsTail =
    "H264 encode select: High Profile\nH264 encode select: High Quality Mode\n";

TEST(EncoderStatus, BlockFollowsTheFiles) {
    const StatusCase cases[] = {
        {"no files", {}, "H264 Max Delay: 100ms\n" + kDefaultsTail},
        {"delay with letters", {{"/mnt/kovra_maxdelay.ini", "25abc\n"}},
         "H264 Max Delay: 2500ms\n" + kDefaultsTail},
        {"delay with leading zeros reads whole", {{"/mnt/kovra_maxdelay.ini", "00000000025\n"}},
         "H264 Max Delay: 2500ms\n" + kDefaultsTail},
        {"delay only from the first line", {{"/mnt/kovra_maxdelay.ini", "3\n99\n"}},
         "H264 Max Delay: 300ms\n" + kDefaultsTail},
        {"profiles and speed mode",
         {{"/mnt/kovra_encProfileIdc.ini", "1\n"}, {"/mnt/kovra_encQuality.ini", "1\n"}},
         "H264 Max Delay: 100ms\nH264 encode select: Main Profile\n"
         "H264 encode select: High Speed Mode\n"},
        {"baseline profile", {{"/mnt/kovra_encProfileIdc.ini", "2\n"}},
         "H264 Max Delay: 100ms\nH264 encode select: Baseline Profile\n"
         "H264 encode select: High Quality Mode\n"},
        {"other profile digit", {{"/mnt/kovra_encProfileIdc.ini", "3\n"}},
         "H264 Max Delay: 100ms\n" + kDefaultsTail},
        {"empty flag files", {{"/mnt/kovra_encProfileIdc.ini", ""}, {"/mnt/kovra_encQuality.ini", ""}},
         "H264 Max Delay: 100ms\n" + kDefaultsTail},
        {"level 40", {{"/mnt/kovra_encLevel.ini", "40\n"}},
         "H264 Max Delay: 100ms\n" + kDefaultsTail + "H264 encode standard: Level 4.0\n\n"},
        {"level 0", {{"/mnt/kovra_encLevel.ini", "0\n"}},
         "H264 Max Delay: 100ms\n" + kDefaultsTail + "H264 encode standard: Level 4.0\n\n"},
        {"level 1b", {{"/mnt/kovra_encLevel.ini", "9\n"}},
         "H264 Max Delay: 100ms\n" + kDefaultsTail + "H264 encode standard: Level 1.b\n\n"},
        {"level not in the table", {{"/mnt/kovra_encLevel.ini", "14\n"}},
         "H264 Max Delay: 100ms\n" + kDefaultsTail + "\n"},
        {"level read from two bytes", {{"/mnt/kovra_encLevel.ini", "4150"}},
         "H264 Max Delay: 100ms\n" + kDefaultsTail + "H264 encode standard: Level 4.1\n\n"},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox::InProcessRoot root;
        for (const auto& [path, content] : c.files) root.write(path, content);
        root.captureOutput();
        capture::printEncoderStatus();
        EXPECT_EQ(root.takeOutput(), c.block);
    }
}

TEST(EncoderStatus, TtlAndIdrReadTheirFirstInteger) {
    const std::pair<std::optional<std::string>, int> cases[] = {
        {std::nullopt, 100}, {"64", 64}, {" -3x", -3}, {"abc", 100}, {"", 100},
    };
    for (const auto& [content, value] : cases) {
        sandbox::InProcessRoot root;
        if (content) {
            root.write("/mnt/ttl.ini", *content);
            root.write("/mnt/idr.ini", *content);
        }
        EXPECT_EQ(capture::readTtl(), value) << content.value_or("(absent)");
        EXPECT_EQ(capture::readIdrInterval(), value) << content.value_or("(absent)");
    }
}

}  // namespace
