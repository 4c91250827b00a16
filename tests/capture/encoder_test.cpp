// Encoder parameter commands, through the program.
#include <gtest/gtest.h>

#include "support/sandbox.h"

namespace {

using sandbox::Fields;
using sandbox::kHeader;
using sandbox::Sandbox;

struct FlagCase {
    const char* query;
    const char* reply;
    const char* path;
    const char* content;
};

TEST(EncoderCommands, ProfileAndQualityAreFlagFiles) {
    const FlagCase cases[] = {
        {"codec_submit=&ctrlbz=female", "H264 encode Main Profile select\n",
         "/mnt/kovra_encProfileIdc.ini", "1\n"},
        {"codec_submit=&ctrlbz=amale", "H264 encode Baseline Profile select\n",
         "/mnt/kovra_encProfileIdc.ini", "2\n"},
        {"codec_submit=&ctrlbz=male", "H264 encode High Profile select\n",
         "/mnt/kovra_encProfileIdc.ini", "0\n"},
        {"codec_submit=&ctrlcz=female", "H264 encode High speed mode select\n",
         "/mnt/kovra_encQuality.ini", "1\n"},
        {"codec_submit=&ctrlcz=male", "H264 encode High quality mode select\n",
         "/mnt/kovra_encQuality.ini", "0\n"},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.query);
        Sandbox box;
        EXPECT_EQ(box.post(c.query).out, kHeader + std::string(c.reply));
        EXPECT_EQ(box.read(c.path), c.content);
        EXPECT_EQ(box.calls(), std::vector<std::string>{"sync"});
    }
    Sandbox box;
    EXPECT_EQ(box.post("codec_submit=&ctrlcz=amale&ctrlbz=Male").out, kHeader);
    EXPECT_FALSE(box.exists("/mnt/kovra_encQuality.ini"));
    EXPECT_FALSE(box.exists("/mnt/kovra_encProfileIdc.ini"));
}

TEST(EncoderCommands, LevelIsStoredAsItsMenuText) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"encst_submit=&menu_encst=9", "9\n", "H264 encode standard: Level 1.b\n\nset ok\n"},
        {"encst_submit=", "50\n", "H264 encode standard: Level 5.0\n\nset ok\n"},
        {"encst_submit=&menu_encst=14", "50\n", "H264 encode standard: Level 5.0\n\nset ok\n"},
        {"encst_submit=&menu_encst=40", "40\n", "H264 encode standard: Level 4.0\n\nset ok\n"},
    };
    for (const auto& [query, file, reply] : cases) {
        SCOPED_TRACE(query);
        Sandbox box;
        EXPECT_EQ(box.post(query).out, kHeader + reply);
        EXPECT_EQ(box.read("/mnt/kovra_encLevel.ini"), file);
        EXPECT_EQ(box.count("sync"), 2);
    }
}

TEST(EncoderCommands, UnwritableLevelFileEndsTheRequest) {
    Sandbox box;
    box.makeDirectory("/mnt/kovra_encLevel.ini");
    auto reply = box.post({{"encst_submit", ""}, {"cvbr_submit", ""}, {"cvbr", "10"}});
    EXPECT_EQ(reply.out, kHeader + std::string("Can't open file\n"));
    EXPECT_FALSE(box.exists("/mnt/kovra_maxdelay.ini"));
    EXPECT_EQ(box.count("sync"), 0);
}

struct DelayCase {
    std::string value;
    std::string reply;
    std::optional<std::string> stored;
};

TEST(EncoderCommands, MaxDelayAcceptsOneToThreeHundred) {
    const std::string invalid = "The value is invalid or out of range.";
    const DelayCase cases[] = {
        {"300", "set :300\nset H264 Max Delay: 30000ms\nset ok\n", "300\n"},
        {"1", "set :1\nset H264 Max Delay: 100ms\nset ok\n", "1\n"},
        {"25abc", "error char", std::nullopt},
        {"00000000025", "set :00000000025\nset H264 Max Delay: 2500ms\nset ok\n",
         "00000000025\n"},
        {"301", "set :301\n" + invalid, std::nullopt},
        {"0", "set :0\n" + invalid, std::nullopt},
        {"-5", "error char", std::nullopt},
        {"abc", "error char", std::nullopt},
        {"5;reboot", "error char", std::nullopt},
        {"9999999999", "set :9999999999\n" + invalid, std::nullopt},
        {std::string(254, '1'), "set :" + std::string(254, '1') + "\n" + invalid, std::nullopt},
        {"5" + std::string(254, ' '), "error len", std::nullopt},
    };
    for (const DelayCase& c : cases) {
        SCOPED_TRACE(c.value);
        Sandbox box;
        box.write("/mnt/kovra_maxdelay.ini", "7\n");
        EXPECT_EQ(box.post({{"cvbr_submit", ""}, {"cvbr", c.value}}).out, kHeader + c.reply);
        EXPECT_EQ(box.read("/mnt/kovra_maxdelay.ini"), c.stored.value_or("7\n"));
        EXPECT_EQ(box.count("sync"), c.stored ? 2 : 0);
    }
}

TEST(EncoderCommands, UnwritableDelayFileIsReportedAndTheRequestGoesOn) {
    Sandbox box;
    box.makeDirectory("/mnt/kovra_maxdelay.ini");
    auto reply = box.post({{"cvbr_submit", ""}, {"cvbr", "20"}, {"name5_submit_absent", ""}});
    EXPECT_EQ(reply.out, kHeader + std::string("set :20\nset H264 Max Delay: 2000ms\ncan not open file\n"));
}

}  // namespace
