// Capture status block and the four capture commands, through the program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <map>

#include "support/sandbox.h"

namespace {

using sandbox::Fields;
using sandbox::kHeader;
using sandbox::Sandbox;

const std::string kVgaLine = ">>>>>>VGA input(DVI-I\xE8\xBD\xAC" "VGA)\n";
const std::string kXga = "XGA,1024x768,60HZ\n\n";

using Files = std::map<std::string, std::string>;

struct StatusCase {
    const char* name;
    Files files;
    std::string block;
};

// The block is printed before the policy command changes anything, so that
// command shows it for any layout of files.
TEST(CaptureStatus, BlockFollowsTheFiles) {
    const StatusCase cases[] = {
        {"format file missing", {}, "error open color config file\r\n"},
        {"fixed format, no input file", {{"/mnt/format.ini", "1 9"}},
         "\nRead: fix format capture\nSet format: " + kXga},
        {"detect, no input file, nothing detected", {{"/mnt/format.ini", "0 9"}},
         "\nRead: detect format\n"},
        {"detect, no input file, detected format",
         {{"/mnt/format.ini", "0 9"}, {"/tmp/format.ini", "1920 1080\n"}},
         "\nRead: detect format\ndetect format:1920x1080\n\n"},
        {"detected format that is no pair of integers",
         {{"/mnt/format.ini", "0 9"}, {"/tmp/format.ini", "1920 x"}},
         "\nRead: detect format\n"},
        {"code out of the catalogue", {{"/mnt/format.ini", "1 30"}},
         "\nRead: fix format capture\nSet format: Set out of range, Please set it again"},
        {"code with a leading zero", {{"/mnt/format.ini", "1 09"}},
         "\nRead: fix format capture\nSet format: " + kXga},
        {"code followed by a line end", {{"/mnt/format.ini", "1 9\n"}},
         "\nRead: fix format capture\nSet format: " + kXga},
        {"two-digit code", {{"/mnt/format.ini", "1 41"}},
         "\nRead: fix format capture\nSet format: SD,NTSC\n\n"},
        {"input type HDMI", {{"/mnt/format.ini", "1 9"}, {"/mnt/mk120.ini", "2"}},
         "\n>>>>>>HDMI input\nRead: fix format capture\nSet format: " + kXga},
        {"input type HDMI on the SDI model",
         {{"/mnt/format.ini", "1 9"}, {"/mnt/mk120.ini", "2"}, {"/mnt/mk250.ini", ""}},
         "\nRead: fix format capture\nSet format: " + kXga},
        {"input type YPbPr", {{"/mnt/format.ini", "1 9"}, {"/mnt/mk120.ini", "4"}},
         "\n>>>>>>YPbPr input(DVI-I to VGA(VGA to YPbpr) or DVI-I to YPbPr\n"
         "Read: fix format capture\nSet format: " + kXga},
        {"input type out of range", {{"/mnt/format.ini", "1 9"}, {"/mnt/mk120.ini", "7"}},
         "\nRead: fix format capture\nSet format: " + kXga},
        {"empty input type file", {{"/mnt/format.ini", "1 9"}, {"/mnt/mk120.ini", ""}},
         "\nRead: fix format capture\nSet format: " + kXga},
        {"detect with auto reboot",
         {{"/mnt/format.ini", "0 9"}, {"/mnt/mk120.ini", "0"}, {"/mnt/qiehuan", "1\n"}},
         "\n" + kVgaLine + "Read: detect format\nautodetect: auto reboot\nFormat: " + kXga},
        {"detect with sdk control",
         {{"/mnt/format.ini", "0 9"}, {"/mnt/mk120.ini", "0"}, {"/mnt/qiehuan", "0\n"}},
         "\n" + kVgaLine + "Read: detect format\nautodetect: sdk control\nFormat: " + kXga},
        {"policy of another integer",
         {{"/mnt/format.ini", "0 9"}, {"/mnt/mk120.ini", "0"}, {"/mnt/qiehuan", "7"}},
         "\n" + kVgaLine + "Read: detect format\nautodetect: sdk control\nFormat: " + kXga},
        {"policy that is no integer",
         {{"/mnt/format.ini", "0 9"}, {"/mnt/mk120.ini", "0"}, {"/mnt/qiehuan", "x"}},
         "\n" + kVgaLine + "Read: detect format\nFormat: " + kXga},
        {"detect without a policy file",
         {{"/mnt/format.ini", "0 9"}, {"/mnt/mk120.ini", "0"}},
         "\n" + kVgaLine + "Read: detect format\nFormat: " + kXga},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        for (const auto& [path, content] : c.files) box.write(path, content);
        auto reply = box.post("codec_submit=&ctrlax=female");
        EXPECT_EQ(reply.out, kHeader + c.block + "\nSet: sdk control(default)\n");
    }
}

TEST(CaptureCommands, AutoDetectPolicyIsWrittenThroughTheShell) {
    Sandbox box;
    box.write("/mnt/format.ini", "1 9");
    box.post("codec_submit=&ctrlax=male");
    EXPECT_EQ(box.read("/mnt/qiehuan"), "1\n");
    box.post("codec_submit=&ctrlax=female");
    EXPECT_EQ(box.read("/mnt/qiehuan"), "0\n");
    EXPECT_EQ(box.calls(), std::vector<std::string>(4, "sync"));
    auto ignored = box.post("codec_submit=&ctrlax=amale");
    EXPECT_EQ(ignored.out, kHeader);
    EXPECT_EQ(box.count("sync"), 4);
}

TEST(CaptureCommands, CaptureModeRewritesTheFormatFile) {
    Sandbox box;
    auto created = box.post("codec_submit=&ctrlau=female");
    EXPECT_EQ(created.out,
              std::string(kHeader) + "error open color config file\r\n\nSet: fix format capture\n");
    EXPECT_EQ(box.read("/mnt/format.ini"), "1 9");
    EXPECT_EQ(box.count("sync"), 2);

    box.write("/mnt/format.ini", "1 41");
    auto detect = box.post("codec_submit=&ctrlau=male");
    EXPECT_EQ(detect.out, std::string(kHeader) +
                              "\nRead: fix format capture\nSet format: SD,NTSC\n\n"
                              "\nSet: detect capture\n");
    EXPECT_EQ(box.read("/mnt/format.ini"), "0 41");
}

TEST(CaptureCommands, CodecFormGroupsActInListOrder) {
    Sandbox box;
    box.write("/mnt/format.ini", "0 9");
    auto reply = box.post({{"ctrlax", "male"}, {"ctrlau", "female"}, {"codec_submit", "Apply"}});
    EXPECT_EQ(reply.out, std::string(kHeader) + "\nRead: detect format\n\nSet: fix format capture\n" +
                             "\nRead: fix format capture\nSet format: " + kXga +
                             "\nSet: auto reboot\n");
}

struct FormatCase {
    const char* name;
    std::string query;
    std::optional<std::string> before;
    std::string body;
    std::string after;
};

TEST(CaptureCommands, SetFormatStoresTheChosenCode) {
    const FormatCase cases[] = {
        {"menu absent selects code 1", "name29_submit=", "1 9",
         "1\nRead: fix format capture\nSet format: " + kXga + "Set format: VGA,640x480,60HZ\n\n",
         "1 1"},
        {"value that is no choice selects code 1", "name29_submit=&menu_set_vga_mode=30", "0 9",
         "1\nRead: detect format\nFormat: VGA,640x480,60HZ\n\n", "0 1"},
        {"last code of the catalogue", "name29_submit=&menu_set_vga_mode=41", "1 9",
         "41\nRead: fix format capture\nSet format: " + kXga + "Set format: SD,NTSC\n\n", "1 41"},
        {"format file recreated", "name29_submit=&menu_set_vga_mode=32", std::nullopt,
         "32error open color config file\r\nFormat: 1080P,60HZ\n\n", "0 32"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        if (c.before) box.write("/mnt/format.ini", *c.before);
        auto reply = box.post(c.query);
        EXPECT_EQ(reply.out, kHeader + c.body);
        EXPECT_EQ(box.read("/mnt/format.ini"), c.after);
        EXPECT_EQ(box.count("sync"), 2);
    }
}

TEST(CaptureCommands, SetInputTypeCreatesTheInputFile) {
    Sandbox box;
    box.write("/mnt/format.ini", "1 9");
    auto first = box.post("name129_submit=&menu_set_signal_mode=2");
    EXPECT_EQ(first.out, kHeader + std::string("set signal format:2\n") +
                             "\nRead: fix format capture\nSet format: " + kXga +
                             "set_signal_mode=2\nset vga format=9 ok\n");
    EXPECT_EQ(box.read("/mnt/mk120.ini"), "2");

    auto second = box.post("name129_submit=&menu_set_signal_mode=9");
    EXPECT_EQ(second.out, kHeader + std::string("set signal format:0\n") +
                              "\n>>>>>>HDMI input\nRead: fix format capture\nSet format: " + kXga +
                              "set_signal_mode=0\nset vga format=9 ok\n");
    EXPECT_EQ(box.read("/mnt/mk120.ini"), "0");
    EXPECT_EQ(box.count("sync"), 4);
}

// A format file without digits for the mode and the code is no setting:
// the commands act as for a missing file and never write a garbage code.
TEST(CaptureCommands, FormatFileWithoutDigitsCountsAsMissing) {
    const std::string missing = "error open color config file\r\n";
    const struct {
        const char* query;
        std::string body;
        std::string after;
    } commands[] = {
        {"codec_submit=&ctrlau=female", missing + "\nSet: fix format capture\n", "1 9"},
        {"name29_submit=&menu_set_vga_mode=23", "23" + missing + "Format: 1920x1080,60HZ\n\n", "0 23"},
        {"name129_submit=&menu_set_signal_mode=1",
         "set signal format:1\n" + missing + "set_signal_mode=1\nset vga format=9 ok\n", "1 9"},
    };
    for (const char* content : {"", "11 9", " 1 9", "a 9"}) {
        for (const auto& c : commands) {
            SCOPED_TRACE(std::string("<") + content + "> " + c.query);
            Sandbox box;
            box.write("/mnt/format.ini", content);
            EXPECT_EQ(box.post(c.query).out, kHeader + c.body);
            EXPECT_EQ(box.read("/mnt/format.ini"),
                      std::string(c.query).rfind("name129", 0) == 0 ? std::string(content) : c.after);
        }
    }
}

TEST(CaptureCommands, FilesThatCannotBeCreatedAreReported) {
    Sandbox box;
    // A dangling link into a missing directory: neither readable nor creatable.
    box.write("/mnt/format.ini", "");
    box.remove("/mnt/format.ini");
    ASSERT_EQ(0, ::symlink("missing/format.ini", box.hostPath("/mnt/format.ini").c_str()));
    ASSERT_EQ(0, ::symlink("missing/mk120.ini", box.hostPath("/mnt/mk120.ini").c_str()));
    auto mode = box.post("codec_submit=&ctrlau=female");
    EXPECT_EQ(mode.out, std::string(kHeader) +
                            "error open color config file\r\n\nSet: fix format capture\n"
                            "Can't open file\n");
    auto input = box.post("name129_submit=&menu_set_signal_mode=1");
    EXPECT_EQ(input.out, std::string(kHeader) +
                             "set signal format:1\nerror open color config file\r\n"
                             "set_signal_mode=1\nCan't open file\nset vga format=9 ok\n");
    EXPECT_EQ(box.count("sync"), 0);
}

}  // namespace
