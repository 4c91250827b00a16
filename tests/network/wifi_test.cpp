// Wi-Fi commands, through the program.
#include <gtest/gtest.h>

#include "support/appliance.h"

namespace {

using sandbox::kHeader;
using sandbox::Fields;
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
    box.post({{"passkey_submit", ""}, {"passkey", "password"}});
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("kovra", "\"password\""));
}

TEST(Wifi, ValuesWithinWifiBoundsAreStoredAndReadBackWhole) {
    // A name of up to 32 bytes, a pass phrase of 8 to 63 and a raw 64-digit
    // key (hand-written) all come back whole in the next change's report.
    const std::string raw(64, 'a');
    const struct {
        const char* submit;
        const char* field;
        std::string value;
        std::string file;  // after the change
        std::string current;  // as the next change reads it
    } cases[] = {
        {"ssid_submit", "ssid", std::string(32, 'n'), networkBlock("\"" + std::string(32, 'n') + "\"", "\"pw\""),
         "ssid=\"" + std::string(32, 'n') + "\", psk=\"pw\""},
        {"passkey_submit", "passkey", std::string(63, 'p'), networkBlock("\"old\"", "\"" + std::string(63, 'p') + "\""),
         "ssid=\"old\", psk=\"" + std::string(63, 'p') + "\""},
        {"passkey_submit", "passkey", "8 chars!", networkBlock("\"old\"", "\"8 chars!\""),
         "ssid=\"old\", psk=\"8 chars!\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Sandbox box;
        box.write("/mnt/wifi/wpa.conf", networkBlock("\"old\"", "\"pw\""));
        box.post({{c.submit, ""}, {c.field, c.value}});
        EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), c.file);
        auto again = box.post({{"ssid_submit", ""}, {"ssid", "x"}});
        EXPECT_NE(again.out.find("current:\n" + c.current + "\n"), std::string::npos) << again.out;
    }
    // A raw key and extra lines of a hand-written block: the name change
    // keeps the key, and "scan_ssid=" is never taken for the name.
    Sandbox box;
    box.write("/mnt/wifi/wpa.conf", "network={\n\tscan_ssid=1\n\tssid=\"lab\"\n\tpsk=" + raw + "\n}\n");
    auto reply = box.post({{"passkey_submit", ""}, {"passkey", "new phrase"}});
    EXPECT_NE(reply.out.find("current:\nssid=\"lab\", psk=" + raw + "\n"), std::string::npos);
    box.write("/mnt/wifi/wpa.conf", "network={\nssid=\"lab\"\npsk=" + raw + "\n}\n");
    box.post({{"ssid_submit", ""}, {"ssid", "lab2"}});
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"lab2\"", raw));
}

// Files the network start-up understands but this program would not
// write itself stay byte for byte as they are through every change that
// is not their own, while the report reads what they hold.
TEST(Wifi, FilesSurviveChangesThatAreNotTheirOwn) {
    const std::string raw = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    const struct {
        const char* name;
        const char* path;
        std::string content;
        std::string reported;
    } cases[] = {
        {"address without a final line end", "/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 10.1.2.3",
         "wifi ip=10.1.2.3\n"},
        {"address after a script header", "/mnt/wifi/wifi_ip.conf",
         "#!/bin/sh\n# wireless address, set at the factory for this site\nifconfig wlan0 10.1.2.3\n",
         "wifi ip=10.1.2.3\n"},
        {"address too long to be read", "/mnt/wifi/wifi_ip.conf",
         "ifconfig wlan0 10.1.2.3 netmask 255.255.255.0 broadcast 10.1.2.255 up\n",
         "wifi ip=192.168.0.9\n"},
        {"raw key", "/mnt/wifi/wpa.conf", "network={\nssid=\"studio\"\npsk=" + raw + "\n}\n",
         "ssid=\"studio\", psk=" + raw + "\n"},
        {"open network", "/mnt/wifi/wpa.conf", "network={\nssid=\"guest\"\nkey_mgmt=NONE\n}\n",
         "ssid=\"guest\", psk=plume\n"},
        {"long pass phrase", "/mnt/wifi/wpa.conf",
         networkBlock("\"studio\"", "\"" + std::string(60, 'q') + "\""),
         "ssid=\"studio\", psk=\"" + std::string(60, 'q') + "\"\n"},
        {"extra lines", "/mnt/wifi/wpa.conf",
         "ctrl_interface=/var/run/wpa\nnetwork={\n  scan_ssid=1\n  ssid=\"hidden\"\n  psk=\"s3cret99\"\n}\n",
         "ssid=\"hidden\", psk=\"s3cret99\"\n"},
    };
    for (const auto& c : cases) {
        for (const Fields& change : {Fields{{"name3_submit", ""}, {"bitrate", "3000000"}},
                                     Fields{{"namelr_submit", ""}, {"lr", "5"}}}) {
            SCOPED_TRACE(std::string(c.name) + " / " + change[0].first);
            Sandbox box;
            sandbox::layOutAppliance(box);
            box.write(c.path, c.content);
            auto reply = box.post(change);
            EXPECT_NE(reply.out.find(c.reported), std::string::npos) << reply.out;
            EXPECT_NE(reply.out.find("\nset ok\n"), std::string::npos);
            EXPECT_EQ(box.read(c.path), c.content);
            EXPECT_EQ(box.count("sync"), change[0].first == "name3_submit" ? 8 : 14);
        }
    }
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
        {"ssid_submit", "ssid", std::string(33, 's'), "error len"},
        {"ssid_submit", "ssid", std::string(33, '"'), "error len"},
        {"passkey_submit", "passkey", "p\"w", "error char"},
        {"passkey_submit", "passkey", "k=v", "error char"},
        {"passkey_submit", "passkey", std::string(64, 'p'), "error len"},
        {"passkey_submit", "passkey", "seven77", "error value"},
        {"wifi_ip_submit", "wifi_ip", "999.1.1.1", "error value"},
        {"wifi_ip_submit", "wifi_ip", "10.0.0.01", "error value"},
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
