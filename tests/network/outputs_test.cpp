// Output switches of the codec form, through the program.
#include <gtest/gtest.h>

#include "support/appliance.h"

namespace {

using sandbox::kHeader;
using sandbox::Sandbox;

struct SwitchCase {
    const char* query;
    const char* reply;
    std::vector<std::pair<const char*, const char*>> files;
    int syncs;
};

TEST(OutputSwitches, WriteTheirFlagFiles) {
    const SwitchCase cases[] = {
        {"codec_submit=&ctrlaz=female", "disable ts output\n",
         {{"/mnt/ts.ini", "1\n"}, {"/mnt/httpts.ini", "0\n"}}, 2},
        {"codec_submit=&ctrlaz=male", "enable ts output, mode: udp\n",
         {{"/mnt/ts.ini", "0\n"}, {"/mnt/httpts.ini", "0\n"}}, 1},
        {"codec_submit=&ctrlaz=amale", "enable ts output, mode: http\n",
         {{"/mnt/ts.ini", "0\n"}, {"/mnt/httpts.ini", "1\n"}}, 1},
        {"codec_submit=&ctrldz=female", "enable stream tag output\n", {{"/mnt/tcp.ini", "1\n"}}, 1},
        {"codec_submit=&ctrldz=male", "disable stream tag output\n", {{"/mnt/tcp.ini", "0\n"}}, 1},
        {"codec_submit=&ctrlez=female", "enable rtsp server\n",
         {{"/mnt/rtsp.ini", "1\n"}, {"/mnt/rtsporrtmp.ini", "0\n"}}, 1},
        {"codec_submit=&ctrlez=male", "disable rtsp server and rtmp\n",
         {{"/mnt/rtsp.ini", "0\n"}, {"/mnt/rtsporrtmp.ini", "0\n"}}, 1},
        {"codec_submit=&ctrlez=amale", "enable rtmp\n",
         {{"/mnt/rtsp.ini", "1\n"}, {"/mnt/rtsporrtmp.ini", "1\n"}}, 1},
        {"codec_submit=&ifwifi=female", "disable wifi\n", {{"/mnt/wifi/ifwifi", "1\n"}}, 1},
        {"codec_submit=&ifwifi=male", "enable wifi\n", {{"/mnt/wifi/ifwifi", "0\n"}}, 1},
    };
    for (const SwitchCase& c : cases) {
        SCOPED_TRACE(c.query);
        Sandbox box;
        box.write("/mnt/httpts.ini", "7\n");
        box.write("/mnt/rtsporrtmp.ini", "7\n");
        EXPECT_EQ(box.post(c.query).out, kHeader + std::string(c.reply));
        for (const auto& [path, content] : c.files) EXPECT_EQ(box.read(path), content) << path;
        EXPECT_EQ(box.calls(), std::vector<std::string>(c.syncs, "sync"));
    }
}

TEST(OutputSwitches, GroupsOfOnePostActInListOrder) {
    Sandbox box;
    auto reply = box.post({{"ctrlez", "female"}, {"ifwifi", "amale"}, {"ctrlaz", "male"},
                           {"codec_submit", "Apply"}});
    EXPECT_EQ(reply.out, kHeader + std::string("enable ts output, mode: udp\nenable rtsp server\n"));
    // "amale" is no choice of the two-choice Wi-Fi group.
    EXPECT_FALSE(box.exists("/mnt/wifi/ifwifi"));
}

TEST(OutputSwitches, IgnoreGroupsWithoutTheCodecButtonOrAChoiceWord) {
    Sandbox box;
    EXPECT_EQ(box.post("ctrlaz=female&ctrlez=amale").out, kHeader);
    EXPECT_EQ(box.post("codec_submit=&ctrlaz=Female&ctrlez=on&ctrldz=").out, kHeader);
    EXPECT_FALSE(box.exists("/mnt/ts.ini"));
    EXPECT_FALSE(box.exists("/mnt/rtsp.ini"));
    EXPECT_FALSE(box.exists("/mnt/tcp.ini"));
}

TEST(OutputSwitches, RtmpChoiceShowsTheUrlInLaterReports) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    box.write("/mnt/rtsp.ini", "0\n");
    box.post("codec_submit=&ctrlez=amale");
    auto report = box.post("name44_submit=").out;
    EXPECT_NE(report.find("tcp stream tag output: enable\nrtmp: enable\n"
                          "rtmp live url: rtmp://192.168.18.7/live/********\nenable video sclaing"),
              std::string::npos);
}

}  // namespace

namespace {

// The stream key is a secret like the Wi-Fi pass phrase: every line of the
// reply that would hold it shows "********"; the script holds it whole.
TEST(OutputSwitches, RepliesNeverShowTheStreamKey) {
    const struct {
        const char* url;
        const char* shown;
    } cases[] = {
        {"rtmp://10.0.0.5/live/s3cr3t-key", "rtmp://10.0.0.5/live/********"},
        {"rtmp://10.0.0.5:1935/app?s3cr3t-key", "rtmp://10.0.0.5:1935/app?********"},
        {"rtmp://10.0.0.5/live/s3cr3t-key/more", "rtmp://10.0.0.5/live/********"},
        {"rtmp://10.0.0.5/live", "rtmp://10.0.0.5/live"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        Sandbox box;
        sandbox::layOutAppliance(box);
        box.post("codec_submit=&ctrlez=amale");
        const std::string reply = box.post({{"rtmpurl_submit", ""}, {"rtmpurl", c.url}}).out;
        const std::string line = std::string("url=") + c.url + "\n";
        EXPECT_EQ(reply.find("s3cr3t"), std::string::npos) << reply;
        EXPECT_EQ(reply.rfind(kHeader + std::string("set url:") + c.shown + "\n", 0), 0u) << reply;
        EXPECT_NE(reply.find("read len = " + std::to_string(line.size()) + ", cmdbuf = url=" + c.shown + "\n"),
                  std::string::npos) << reply;
        EXPECT_NE(box.read("/mnt/autorun.sh")->find(line), std::string::npos);
        EXPECT_NE(box.post("name44_submit=").out.find(std::string("rtmp live url: ") + c.shown + "\n"),
                  std::string::npos);
    }
}

}  // namespace
