// Colour commands, through the program: the value travels through the
// change line and the boot-script rewrite to the colour file.
#include <gtest/gtest.h>

#include "support/appliance.h"

namespace {

using sandbox::kHeader;
using sandbox::Sandbox;

std::string between(const std::string& text, const std::string& from, const std::string& to) {
    std::size_t a = text.find(from);
    if (a == std::string::npos) return "<" + from + " missing>";
    a += from.size();
    std::size_t b = text.find(to, a);
    if (b == std::string::npos) return "<" + to + " missing>";
    return text.substr(a, b - a);
}

TEST(ColourCommands, MissingColourFileIsCreatedFromTheStartValues) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    box.remove("/mnt/wifi/ifwifi");
    box.remove("/mnt/color.ini");
    auto reply = box.post({{"namelr_submit", ""}, {"lr", "200"}});
    const std::string& out = reply.out;
    const std::string start = kHeader + std::string("set ok:200\nip=");
    EXPECT_EQ(out.substr(0, start.size()), start);
    EXPECT_EQ(between(out, "cmdbuf = lr=200\n\n", "Modify:"), "error open color config file\r\n");
    EXPECT_EQ(out.substr(out.size() - 7), "set ok\n");
    EXPECT_EQ(box.read("/mnt/color.ini"), "128 0 0 0 0 200");
    // The header has no colour values: the script is rewritten unchanged.
    EXPECT_EQ(box.read("/mnt/autorun.sh"), sandbox::bootScript());
}

TEST(ColourCommands, EachKeyChangesItsOwnValue) {
    const std::tuple<const char*, const char*, std::string, std::string> cases[] = {
        {"namelr_submit", "lr", "-12", "1 2 3 4 5 -12"},
        {"namelg_submit", "lg", "-999", "1 2 3 4 -999 6"},
        {"namelb_submit", "lb", "255", "1 2 3 255 5 6"},
        {"namebr_submit", "br", "-100", "1 2 -100 4 5 6"},
        {"namebg_submit", "bg", "0", "1 0 3 4 5 6"},
        {"namebb_submit", "bb", "9999", "9999 2 3 4 5 6"},
    };
    for (const auto& [submit, key, value, after] : cases) {
        SCOPED_TRACE(key);
        Sandbox box;
        sandbox::layOutAppliance(box);
        box.remove("/mnt/wifi/ifwifi");
        box.write("/mnt/color.ini", "1 2 3 4 5 6");
        auto reply = box.post({{submit, ""}, {key, value}});
        EXPECT_EQ(reply.out.substr(std::string(kHeader).size(), 8 + value.size()),
                  "set ok:" + value + "\n");
        EXPECT_EQ(box.read("/mnt/color.ini"), after);
    }
}

TEST(ColourCommands, ShortColourFileKeepsTheStartValuesForTheRest) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    box.remove("/mnt/wifi/ifwifi");
    box.write("/mnt/color.ini", "1 2");
    box.post({{"namebb_submit", ""}, {"bb", "7"}});
    EXPECT_EQ(box.read("/mnt/color.ini"), "7 2 0 0 0 0");
}

TEST(ColourCommands, BgIsTracedAtEveryScanOfItsLine) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    box.write("/mnt/color.ini", "128 0 0 0 0 200");
    auto reply = box.post({{"namebg_submit", ""}, {"bg", "50"}});
    const std::string trace = "enter bg set+++++++,j=2,i=0\nbgs=50\n";
    const std::string firstRead = "read color.ini=128 0 0 0 0 200\r\nread color config file ok\r\n";
    const std::string laterRead = "read color.ini=128 50 0 0 0 200\r\nread color config file ok\r\n";
    // Twice inside the report (the two Wi-Fi updates), once when applied.
    EXPECT_EQ(between(reply.out, "current:\nssid=\"studio\", psk=\"********\"\n", "modify:"),
              trace + firstRead + "bg=0\nbg=50\n");
    EXPECT_EQ(between(reply.out, "current:\nwifi ip=192.168.0.9\n", "modify:"),
              trace + laterRead + "bg=50\nbg=50\n");
    EXPECT_EQ(between(reply.out, "cmdbuf = bg=50\n\n", "Modify:"),
              trace + laterRead + "bg=50\nbg=50\n");
    EXPECT_EQ(box.read("/mnt/color.ini"), "128 50 0 0 0 200");
}

}  // namespace
