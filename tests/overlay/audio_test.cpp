// Audio input and 3.5 mm volume commands, through the program.
#include <gtest/gtest.h>

#include "support/appliance.h"

namespace {

using sandbox::kHeader;
using sandbox::mixerState;
using sandbox::Sandbox;

TEST(Audio, InputChoiceIsAFlagFile) {
    const std::tuple<const char*, bool, const char*, const char*> cases[] = {
        {"female", false, "select audio in of hdmi\n", "1\n"},
        {"female", true, "select audio in of sdi\n", "1\n"},
        {"male", false, "select audio in of 3.5\n", "0\n"},
        {"male", true, "select audio in of 3.5\n", "0\n"},
    };
    for (const auto& [word, sdiModel, reply, stored] : cases) {
        SCOPED_TRACE(std::string(word) + (sdiModel ? " on the SDI model" : ""));
        Sandbox box;
        if (sdiModel) box.write("/mnt/mk250.ini", "");
        EXPECT_EQ(box.post(std::string("codec_submit=&audioin=") + word).out, kHeader + std::string(reply));
        EXPECT_EQ(box.read("/mnt/ha.ini"), stored);
        EXPECT_EQ(box.count("sync"), 2);
    }
    Sandbox box;
    EXPECT_EQ(box.post("codec_submit=&audioin=amale").out, kHeader);
    EXPECT_FALSE(box.exists("/mnt/ha.ini"));
}

struct VolumeCase {
    std::string value;
    std::string left, right;  // before
    std::string reply;
    std::optional<std::string> after;  // both channels; nullopt: unchanged
};

TEST(Audio, VolumeIsWrittenIntoBothChannelLines) {
    const VolumeCase cases[] = {
        {"75", "80", "80", "set volume:75\n", "75"},
        {"5", "80", "80", "set volume:5\n", "5"},
        {"100", "80", "80", "set volume:100\n", "100"},
        {"42", "9", "10", "set volume:42\n", "42"},
        {"1000", "80", "80", "error len", std::nullopt},
        {"7a", "80", "80", "error char", std::nullopt},
        {"-5", "80", "80", "error char", std::nullopt},
        {" 5", "80", "80", "error char", std::nullopt},
        {"250", "80", "80", "error value", std::nullopt},
        {"101", "80", "80", "error value", std::nullopt},
        {"0", "80", "80", "set volume:0\n", "0"},
    };
    for (const VolumeCase& c : cases) {
        SCOPED_TRACE(c.value);
        Sandbox box;
        const std::string before = mixerState(c.left, c.right);
        box.write("/mnt/asound.state", before);
        EXPECT_EQ(box.post({{"name_volume_submit", ""}, {"volume", c.value}}).out, kHeader + c.reply);
        std::string expected = c.after ? mixerState(*c.after, *c.after) : before;
        EXPECT_EQ(box.read("/mnt/asound.state"), expected);
        EXPECT_EQ(box.read("/mnt/asound.state")->size(),
                  before.size() + (c.after ? 2 * c.after->size() : c.left.size() + c.right.size()) -
                      c.left.size() - c.right.size());
    }
}

TEST(Audio, VolumeWithoutAUsableStateFileChangesNothing) {
    Sandbox box;
    EXPECT_EQ(box.post({{"name_volume_submit", ""}, {"volume", "50"}}).out,
              kHeader + std::string("set volume:50\nCan't open file\n"));
    EXPECT_FALSE(box.exists("/mnt/asound.state"));
    const std::string fewBraces = "state.Codec {\n\tcontrol.1 {\n\t\tvalue.0 80\n\t\tvalue.1 80\n\t}\n}\n";
    box.write("/mnt/asound.state", fewBraces);
    EXPECT_EQ(box.post({{"name_volume_submit", ""}, {"volume", "50"}}).out,
              kHeader + std::string("set volume:50\nCan't find volume control\n"));
    EXPECT_EQ(box.read("/mnt/asound.state"), fewBraces);
    std::string noSecondChannel = mixerState("80", "80");
    noSecondChannel.replace(noSecondChannel.find("value.1"), 7, "value:1");
    box.write("/mnt/asound.state", noSecondChannel);
    EXPECT_EQ(box.post({{"name_volume_submit", ""}, {"volume", "50"}}).out,
              kHeader + std::string("set volume:50\nCan't find volume control\n"));
    EXPECT_EQ(box.read("/mnt/asound.state"), noSecondChannel);
}

TEST(Audio, ReportShowsTheStoredVolumeWhole) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    box.post({{"name_volume_submit", ""}, {"volume", "100"}});
    EXPECT_NE(box.post("name44_submit=").out.find("audio in: hdmi\n3.5 audio volume+:100\n"),
              std::string::npos);
}

}  // namespace
