// Wi-Fi: the enable flag, the network block read by wpa_supplicant and the
// address line the network start-up runs. The two update operations both
// report and, when a pending change line waits, apply it and rewrite.
#include <cstdio>
#include <string>

#include "dispatch/cgic.h"
#include "network/network.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace network {
namespace {

// Both Wi-Fi files are read as their first bytes only, and keys are looked
// for near their start.
constexpr std::size_t kWifiFileReadBytes = 2000;
constexpr std::size_t kNetworkBlockScanPositions = 300;
constexpr std::size_t kAddressLineScanPositions = 60;

char at(const std::string& text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

// The address after "wlan0 " in the ifconfig line. Values of up to the
// field's full width are taken, so that an address stored by other means
// survives the rewrite that every status report with a change performs.
void readWifiAddress(const std::string& text) {
    std::string& wifiip = settings::record().wifiip;
    for (std::size_t i = 0; i < kAddressLineScanPositions; ++i) {
        if (at(text, i) != 'a' || at(text, i + 1) != 'n' || at(text, i + 3) != ' ') continue;
        std::size_t v = i + 4;
        for (std::size_t n = 0; n <= settings::kWifiFieldMax; ++n) {
            char c = at(text, v + n);
            if (c == '\r' || c == '\n') {
                std::string value = text.substr(v, n);
                wifiip = value.substr(0, value.find('\0'));
                break;
            }
        }
    }
}

bool writeFileAndSync(const char* path, const std::string& text) {
    if (!platform::writeFile(path, text)) {
        replyCannotOpen();
        return false;
    }
    platform::shellSync();
    platform::shellSync();
    std::puts("set ok");
    return true;
}

void updateWpaConf() {
    std::optional<std::string> text = platform::readFile("/mnt/wifi/wpa.conf", kWifiFileReadBytes);
    if (!text) {
        replyCannotOpen();
        return;
    }
    settings::SettingsRecord& r = settings::record();
    settings::parseSettingsText(*text, kNetworkBlockScanPositions, settings::KeySet::WifiNetwork);
    const std::string& line = settings::pendingLine();
    if (line.empty()) {
        std::printf("ssid=%s\n", r.ssid.c_str());
        return;
    }
    std::printf("current:\nssid=%s, psk=%s\n", r.ssid.c_str(), r.psk.c_str());
    settings::parseSettingsText(line, line.size());
    std::printf("modify:\nssid=%s, psk=%s\n", r.ssid.c_str(), r.psk.c_str());
    writeFileAndSync("/mnt/wifi/wpa.conf",
                     "network={\nssid=" + r.ssid + "\npsk=" + r.psk +
                         "\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\n"
                         "priority=2\n}");
}

void updateWifiIpConf() {
    std::optional<std::string> text =
        platform::readFile("/mnt/wifi/wifi_ip.conf", kWifiFileReadBytes);
    if (!text) {
        replyCannotOpen();
        return;
    }
    settings::SettingsRecord& r = settings::record();
    readWifiAddress(*text);
    const std::string& line = settings::pendingLine();
    if (line.empty()) {
        std::printf("wifi ip=%s\n", r.wifiip.c_str());
        return;
    }
    std::printf("current:\nwifi ip=%s\n", r.wifiip.c_str());
    settings::parseSettingsText(line, line.size());
    std::printf("modify:\nwifi ip=%s\n", r.wifiip.c_str());
    writeFileAndSync("/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 " + r.wifiip + "\n");
}

// A text command: its reply, its change line, then the update.
Flow setWifiValue(const char* field, const char* reply, const char* linePrefix,
                  const char* lineSuffix, void (*update)()) {
    std::string value;
    if (!readTextField(field, value)) return Flow::Continue;
    std::printf(reply, value.c_str());
    settings::setPendingLine(linePrefix + value + lineSuffix);
    update();
    return Flow::Continue;
}

}  // namespace

void printWifiStatus() {
    std::optional<std::string> flag = platform::readFile("/mnt/wifi/ifwifi", 1);
    if (!flag) return;
    if (flag->empty()) {
        std::fputs("error\n", stdout);
    } else if ((*flag)[0] == '1') {
        std::fputs("wifi: disable\n", stdout);
    } else {
        std::fputs("wifi: enable\n", stdout);
        updateWpaConf();
        updateWifiIpConf();
    }
}

Flow cmdWifiSwitch(int choice) {
    std::fputs(choice == 1 ? "disable wifi\n" : "enable wifi\n", stdout);
    platform::shellTouch("/mnt/wifi/ifwifi");
    platform::shellEcho(choice, "/mnt/wifi/ifwifi");
    platform::shellSync();
    return Flow::Continue;
}

Flow cmdSsid(int) {
    return setWifiValue("ssid", "set ssid:%s\n", "ssid=\"", "\"\n", updateWpaConf);
}

Flow cmdPasskey(int) {
    return setWifiValue("passkey", "set passkey:%s\n", "psk=\"", "\"\n", updateWpaConf);
}

Flow cmdWifiIp(int) {
    return setWifiValue("wifi_ip", "set wifi ip:%s\n", "wifiip=", "\n", updateWifiIpConf);
}

}  // namespace network
