// Wi-Fi commands, through the program.
#include <gtest/gtest.h>

#include "support/appliance.h"

namespace {

using sandbox::kHeader;
using sandbox::networkBlock;
using sandbox::Sandbox;

TEST(Wifi, NetworkNameIsStoredInQuotes) {
    Sandbox box;
    box.write("/mnt/wifi/wpa.conf", networkBlock("\"old\"", "\"pw\""));
    auto reply = box.post({{"ssid_submit", ""}, {"ssid", "studio net"}});
    EXPECT_EQ(reply.out, kHeader + std::string("set ssid:studio net\ncurrent:\nssid=\"old\", psk=\"pw\"\n"
                                               "modify:\nssid=\"studio net\", psk=\"pw\"\nset ok\n"));
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"studio net\"", "\"pw\""));
    EXPECT_EQ(box.count("sync"), 2);
}

TEST(Wifi, PassPhraseNextToANameHoldingOtherKeys) {
    Sandbox box;
    box.write("/mnt/wifi/wpa.conf", networkBlock("\"my end ip=1\"", "\"old\""));
    auto reply = box.post({{"passkey_submit", ""}, {"passkey", "n3w pass"}});
    EXPECT_EQ(reply.out, kHeader + std::string("set passkey:n3w pass\ncurrent:\n"
                                               "ssid=\"my end ip=1\", psk=\"old\"\nmodify:\n"
                                               "ssid=\"my end ip=1\", psk=\"n3w pass\"\nset ok\n"));
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"my end ip=1\"", "\"n3w pass\""));
}

TEST(Wifi, BlockWithoutKeysIsRewrittenWithTheDefaults) {
    Sandbox box;
    box.write("/mnt/wifi/wpa.conf", "network={\n}\n");
    box.post({{"passkey_submit", ""}, {"passkey", "pw"}});
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("kovra", "\"pw\""));
}

TEST(Wifi, LongestNameThatCanBeReadBackIsAccepted) {
    Sandbox box;
    box.write("/mnt/wifi/wpa.conf", networkBlock("\"old\"", "\"pw\""));
    const std::string name(47, 'n');
    box.post({{"ssid_submit", ""}, {"ssid", name}});
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"" + name + "\"", "\"pw\""));
    auto again = box.post({{"ssid_submit", ""}, {"ssid", "x"}});
    EXPECT_NE(again.out.find("current:\nssid=\"" + name + "\""), std::string::npos);
}

TEST(Wifi, MissingOrUnwritableFilesAreReported) {
    Sandbox box;
    EXPECT_EQ(box.post({{"ssid_submit", ""}, {"ssid", "a"}}).out,
              kHeader + std::string("set ssid:a\nCan't open file\n"));
    EXPECT_EQ(box.post({{"wifi_ip_submit", ""}, {"wifi_ip", "10.0.0.1"}}).out,
              kHeader + std::string("set wifi ip:10.0.0.1\nCan't open file\n"));
    EXPECT_FALSE(box.exists("/mnt/wifi/wpa.conf"));
    EXPECT_FALSE(box.exists("/mnt/wifi/wifi_ip.conf"));
    box.makeDirectory("/mnt/wifi/wifi_ip.conf");
    EXPECT_EQ(box.post({{"wifi_ip_submit", ""}, {"wifi_ip", "10.0.0.1"}}).out,
              kHeader + std::string("set wifi ip:10.0.0.1\nCan't open file\n"));
    EXPECT_EQ(box.count("sync"), 0);
}

TEST(Wifi, AddressIsWrittenAsOneLine) {
    Sandbox box;
    box.write("/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 192.168.0.9\n");
    auto reply = box.post({{"wifi_ip_submit", ""}, {"wifi_ip", "10.20.30.40"}});
    EXPECT_EQ(reply.out, kHeader + std::string("set wifi ip:10.20.30.40\ncurrent:\nwifi ip=192.168.0.9\n"
                                               "modify:\nwifi ip=10.20.30.40\nset ok\n"));
    EXPECT_EQ(box.read("/mnt/wifi/wifi_ip.conf"), "ifconfig wlan0 10.20.30.40\n");
}

struct Refusal {
    const char* submit;
    const char* field;
    std::string value;
    const char* reply;
};

TEST(Wifi, UnsafeOrUnstorableValuesAreRefused) {
    std::vector<Refusal> cases = {
        {"ssid_submit", "ssid", "a\"b", "error char"},
        {"ssid_submit", "ssid", "a bg=5", "error char"},
        {"ssid_submit", "ssid", "x ssid=y", "error char"},
        {"ssid_submit", "ssid", "a ip=$(reboot)", "error char"},
        {"ssid_submit", "ssid", std::string(48, 's'), "error len"},
        {"ssid_submit", "ssid", std::string(48, '"'), "error len"},
        {"passkey_submit", "passkey", "p\"w", "error char"},
        {"passkey_submit", "passkey", "k=v", "error char"},
        {"passkey_submit", "passkey", std::string(48, 'p'), "error len"},
        {"wifi_ip_submit", "wifi_ip", std::string(20, '1'), "error len"},
        {"wifi_ip_submit", "wifi_ip", "1.2.3.4=5", "error char"},
    };
    for (char c : std::string(" \t;&|$`'\"\\<>()"))
        cases.push_back({"wifi_ip_submit", "wifi_ip", std::string("10.0.0.1") + c + "x", "error char"});
    for (const Refusal& c : cases) {
        SCOPED_TRACE(std::string(c.field) + "=" + c.value);
        Sandbox box;
        sandbox::layOutAppliance(box);
        auto reply = box.post({{c.submit, ""}, {c.field, c.value}});
        EXPECT_EQ(reply.out, kHeader + std::string(c.reply));
        EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"studio\"", "\"s3cret\""));
        EXPECT_EQ(box.read("/mnt/wifi/wifi_ip.conf"), "ifconfig wlan0 192.168.0.9\n");
        EXPECT_EQ(box.read("/mnt/color.ini"), "128 0 0 0 0 0");
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Wifi, DisabledWifiLeavesItsFilesAloneInARewrite) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    box.write("/mnt/wifi/ifwifi", "1\n");
    box.write("/mnt/wifi/wpa.conf", "network={\nssid=\"keep me\"\n}");
    auto reply = box.post({{"name3_submit", ""}, {"bitrate", "1000000"}});
    EXPECT_NE(reply.out.find("gateway=192.168.18.1\nwifi: disable\nttl=64\n"), std::string::npos);
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), "network={\nssid=\"keep me\"\n}");
}

}  // namespace
