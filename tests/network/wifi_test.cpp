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
    box.write("/mnt/wifi/wpa.conf", networkBlock("\"old\"", "\"pass word\""));
    auto reply = box.post({{"ssid_submit", ""}, {"ssid", "studio net"}});
    EXPECT_EQ(reply.out, kHeader + std::string("set ssid:studio net\ncurrent:\nssid=\"old\", psk=\"********\"\n"
                                               "modify:\nssid=\"studio net\", psk=\"********\"\nset ok\n"));
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"studio net\"", "\"pass word\""));
    EXPECT_EQ(box.count("sync"), 2);
}

TEST(Wifi, PassPhraseNextToANameHoldingOtherKeys) {
    Sandbox box;
    box.write("/mnt/wifi/wpa.conf", networkBlock("\"my end ip=1\"", "\"old pass\""));
    auto reply = box.post({{"passkey_submit", ""}, {"passkey", "n3w pass"}});
    EXPECT_EQ(reply.out, kHeader + std::string("set passkey:********\ncurrent:\n"
                                               "ssid=\"my end ip=1\", psk=\"********\"\nmodify:\n"
                                               "ssid=\"my end ip=1\", psk=\"********\"\nset ok\n"));
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"my end ip=1\"", "\"n3w pass\""));
}

TEST(Wifi, ValuesWithinWifiBoundsAreStoredAndReadBackWhole) {
    // A name of up to 32 bytes, a pass phrase of 8 to 63 and a raw 64-digit
    // key (hand-written) are all stored whole; the next change's report
    // shows the name and never the pass phrase.
    const std::string raw(64, 'a');
    const struct {
        const char* submit;
        const char* field;
        std::string value;
        std::string file;  // after the change
        std::string current;  // as the next change reads it
    } cases[] = {
        {"ssid_submit", "ssid", std::string(32, 'n'), networkBlock("\"" + std::string(32, 'n') + "\"", "\"pass word\""),
         "ssid=\"" + std::string(32, 'n') + "\", psk=\"********\""},
        {"passkey_submit", "passkey", std::string(63, 'p'), networkBlock("\"old\"", "\"" + std::string(63, 'p') + "\""),
         "ssid=\"old\", psk=\"********\""},
        {"passkey_submit", "passkey", "8 chars!", networkBlock("\"old\"", "\"8 chars!\""),
         "ssid=\"old\", psk=\"********\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Sandbox box;
        box.write("/mnt/wifi/wpa.conf", networkBlock("\"old\"", "\"pass word\""));
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
    EXPECT_NE(reply.out.find("current:\nssid=\"lab\", psk=********\n"), std::string::npos);
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
         "ssid=\"studio\", psk=********\n"},
        {"open network", "/mnt/wifi/wpa.conf", "network={\nssid=\"guest\"\nkey_mgmt=NONE\n}\n",
         "ssid=\"guest\", psk=\n"},
        {"long pass phrase", "/mnt/wifi/wpa.conf",
         networkBlock("\"studio\"", "\"" + std::string(60, 'q') + "\""),
         "ssid=\"studio\", psk=\"********\"\n"},
        {"extra lines", "/mnt/wifi/wpa.conf",
         "ctrl_interface=/var/run/wpa\nnetwork={\n  scan_ssid=1\n  ssid=\"hidden\"\n  psk=\"s3cret99\"\n}\n",
         "ssid=\"hidden\", psk=\"********\"\n"},
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
    EXPECT_EQ(box.post({{"wifi_ip_submit", ""}, {"wifi_ip", "10.0.0.1"}}).out,
              kHeader + std::string("set wifi ip:10.0.0.1\nCan't open file\n"));
    EXPECT_FALSE(box.exists("/mnt/wifi/wifi_ip.conf"));
    box.makeDirectory("/mnt/wifi/wifi_ip.conf");
    EXPECT_EQ(box.post({{"wifi_ip_submit", ""}, {"wifi_ip", "10.0.0.1"}}).out,
              kHeader + std::string("set wifi ip:10.0.0.1\nCan't open file\n"));
    box.makeDirectory("/mnt/wifi/wpa.conf");
    EXPECT_EQ(box.post({{"ssid_submit", ""}, {"ssid", "lab"}}).out,
              kHeader + std::string("set ssid:lab\ncurrent:\nssid=, psk=\nmodify:\nssid=\"lab\", psk=\n"
                                    "Can't open file\n"));
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
        {"ssid_submit", "ssid", std::string(33, 's'), "error len"},
        {"ssid_submit", "ssid", std::string(33, '"'), "error len"},
        {"passkey_submit", "passkey", "p\"wwwwwww", "error char"},
        {"passkey_submit", "passkey", "k=v", "error value"},
        {"passkey_submit", "passkey", std::string(64, 'p'), "error value"},
        {"passkey_submit", "passkey", std::string(63, 'a') + "\xc3\xa4", "error len"},
        {"passkey_submit", "passkey", "p\xc3\xa4sswort", "error value"},
        {"passkey_submit", "passkey", "tab\there!", "error value"},
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
        EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), networkBlock("\"studio\"", "\"s3cret-pass\""));
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

namespace {

// A name or pass-phrase change keeps the network's security, refuses a
// block it cannot write back whole, and every block it writes is one that
// wpa_supplicant reads.
TEST(Wifi, ChangesKeepTheSecurityAndWriteOnlyBlocksWpaSupplicantReads) {
    const std::string raw = "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789abcdef";
    const std::string wpa = networkBlock("\"lab\"", "\"pass word\"");
    const std::string open = "network={\nssid=\"guest\"\nkey_mgmt=NONE\n}\n";
    const std::string cannot = "error: wpa.conf cannot be read, nothing changed\n";
    const std::string noName = "error: wpa.conf holds no network name, nothing changed\n";
    const struct {
        const char* name;
        std::optional<std::string> before;  // nullopt: no file
        Fields change;
        std::string reply;                  // after the command's own line
        std::optional<std::string> after;   // nullopt: left as it was
    } cases[] = {
        {"name over a pass phrase", wpa, {{"ssid_submit", ""}, {"ssid", "new"}},
         "current:\nssid=\"lab\", psk=\"********\"\nmodify:\nssid=\"new\", psk=\"********\"\nset ok\n",
         networkBlock("\"new\"", "\"pass word\"")},
        {"name over an open network", open, {{"ssid_submit", ""}, {"ssid", "new"}},
         "current:\nssid=\"guest\", psk=\nmodify:\nssid=\"new\", psk=\nset ok\n",
         "network={\nssid=\"new\"\nkey_mgmt=NONE\npriority=2\n}"},
        {"name over an empty file", "", {{"ssid_submit", ""}, {"ssid", "a=b c"}},
         "current:\nssid=, psk=\nmodify:\nssid=\"a=b c\", psk=\nset ok\n",
         "network={\nssid=\"a=b c\"\nkey_mgmt=NONE\npriority=2\n}"},
        {"name without a file", std::nullopt, {{"ssid_submit", ""}, {"ssid", "new"}},
         "current:\nssid=, psk=\nmodify:\nssid=\"new\", psk=\nset ok\n",
         "network={\nssid=\"new\"\nkey_mgmt=NONE\npriority=2\n}"},
        {"name over a raw key", "network={\nssid=\"lab\"\npsk=" + raw + "\n}\n",
         {{"ssid_submit", ""}, {"ssid", "new"}},
         "current:\nssid=\"lab\", psk=********\nmodify:\nssid=\"new\", psk=********\nset ok\n",
         networkBlock("\"new\"", raw)},
        {"pass phrase over an open network", open, {{"passkey_submit", ""}, {"passkey", "k=v \"-free"}},
         "", std::nullopt},
        {"pass phrase with = over an open network", open,
         {{"passkey_submit", ""}, {"passkey", "k=v pass"}},
         "current:\nssid=\"guest\", psk=\nmodify:\nssid=\"guest\", psk=\"********\"\nset ok\n",
         networkBlock("\"guest\"", "\"k=v pass\"")},
        {"raw key as a pass phrase", wpa, {{"passkey_submit", ""}, {"passkey", raw}},
         "current:\nssid=\"lab\", psk=\"********\"\nmodify:\nssid=\"lab\", psk=********\nset ok\n",
         networkBlock("\"lab\"", raw)},
        {"pass phrase over a name written unquoted", networkBlock("kovra", "plume"),
         {{"passkey_submit", ""}, {"passkey", "8 chars!"}}, cannot, std::nullopt},
        {"pass phrase over a name in quotes", networkBlock("\"kovra\"", "plume"),
         {{"passkey_submit", ""}, {"passkey", "8 chars!"}},
         "current:\nssid=\"kovra\", psk=********\nmodify:\nssid=\"kovra\", psk=\"********\"\nset ok\n",
         networkBlock("\"kovra\"", "\"8 chars!\"")},
        {"pass phrase over an empty file", "", {{"passkey_submit", ""}, {"passkey", "8 chars!"}},
         noName, std::nullopt},
        {"pass phrase without a file", std::nullopt, {{"passkey_submit", ""}, {"passkey", "8 chars!"}},
         noName, std::nullopt},
        {"pass phrase over a block without a name", "network={\nkey_mgmt=NONE\n}\n",
         {{"passkey_submit", ""}, {"passkey", "8 chars!"}}, noName, std::nullopt},
        {"name over a pass phrase followed by a blank",
         "network={\nssid=\"lab\"\npsk=\"" + std::string(63, 'p') + "\" \n}\n",
         {{"ssid_submit", ""}, {"ssid", "new"}}, cannot, std::nullopt},
        {"name over a pass phrase wpa_supplicant refuses", networkBlock("\"lab\"", "plume"),
         {{"ssid_submit", ""}, {"ssid", "new"}}, cannot, std::nullopt},
        {"name over a block past the bytes read", std::string(2000, '#') + "\n" + wpa,
         {{"ssid_submit", ""}, {"ssid", "new"}}, cannot, std::nullopt},
        {"name over an enterprise network", "network={\nssid=\"corp\"\nkey_mgmt=WPA-EAP\n}\n",
         {{"ssid_submit", ""}, {"ssid", "new"}}, cannot, std::nullopt},
        {"name over two networks", wpa + "\n" + open, {{"ssid_submit", ""}, {"ssid", "new"}}, cannot,
         std::nullopt},
    };
    std::vector<std::string> written;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        box.makeDirectory("/mnt/wifi");
        if (c.before) box.write("/mnt/wifi/wpa.conf", *c.before);
        const std::string& value = c.change[1].second;
        const std::string own = c.change[0].first == "ssid_submit" ? "set ssid:" + value + "\n"
                                                                  : "set passkey:********\n";
        auto reply = box.post(c.change);
        if (c.reply.empty()) {  // refused by the field's rule
            EXPECT_EQ(reply.out.rfind(kHeader + std::string("error "), 0), 0u) << reply.out;
        } else {
            EXPECT_EQ(reply.out, kHeader + own + c.reply);
        }
        EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), c.after ? c.after : c.before);
        EXPECT_EQ(box.count("sync"), c.after ? 2 : 0);
        if (c.after) written.push_back(*c.after);
    }
    for (const std::string& refused : sandbox::refusedByWpaSupplicant(written)) ADD_FAILURE() << refused;
    // The check itself tells a refused block: the old program's default one.
    EXPECT_EQ(sandbox::refusedByWpaSupplicant({networkBlock("kovra", "plume")}).size(), 1u);
}

}  // namespace
