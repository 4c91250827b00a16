// Wi-Fi: the enable flag, the network block read by wpa_supplicant and the
// address line the network start-up runs. The two update operations both
// report and, when a pending change line waits, apply it and rewrite.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dispatch/cgic.h"
#include "network/network.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace network {
namespace {

// Both Wi-Fi files are read as their first bytes only.
constexpr std::size_t kWifiFileReadBytes = 2000;

// The lines of text, each without its line end (LF, or CR LF).
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

// The network name and pass phrase: "ssid=" and "psk=" at the start of a
// line (after blanks), so "scan_ssid=" or "bssid=" in a hand-written block
// is never taken for the name. A later line overrides an earlier one.
WifiNetwork networkOf(const std::string& text) {
    WifiNetwork network;
    const struct {
        const char* prefix;
        std::optional<std::string> WifiNetwork::*field;
        const settings::ValueRule* rule;
    } keys[] = {{"ssid=", &WifiNetwork::ssid, settings::ruleForKey("ssid")},
                {"psk=", &WifiNetwork::psk, settings::ruleForKey("psk")}};
    for (const std::string& line : linesOf(text)) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos) continue;
        for (const auto& key : keys) {
            if (line.compare(start, std::strlen(key.prefix), key.prefix) != 0) continue;
            std::string value = line.substr(start + std::strlen(key.prefix));
            value = value.substr(0, value.find('\0'));
            if (value.size() <= key.rule->longest) network.*key.field = value;
        }
    }
    return network;
}

// The address of the first line that begins with "ifconfig wlan0 ". A value
// too long for the field is not taken: the report shows the default, and
// the file is never rewritten from it.
std::optional<std::string> addressOf(const std::string& text) {
    const std::string prefix = "ifconfig wlan0 ";
    for (const std::string& line : linesOf(text)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string value = line.substr(prefix.size());
        value = value.substr(0, value.find('\0'));
        if (value.size() <= settings::ruleForKey("wifiip")->longest) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

// Whether an update writes its file: only a change of the file's own
// values does. Inside another command's status report the file stays byte
// for byte as it is (it may hold what this program cannot write back: a raw
// key, an open network, extra lines), while the reply and the flushes stay
// those of a rewrite.
enum class Store { OwnChange, ReportOnly };

void writeFileAndSync(const char* path, const std::string& text, Store store) {
    if (store == Store::OwnChange && !platform::writeFile(path, text)) {
        replyCannotOpen();
        return;
    }
    platform::shellSync();
    platform::shellSync();
    std::puts("set ok");
}

void updateWpaConf(Store store) {
    platform::FileValue<WifiNetwork> block = readNetworkBlock();
    if (!block.exists) {
        replyCannotOpen();
        return;
    }
    settings::SettingsRecord& r = settings::record();
    if (block.value->ssid) r.ssid = *block.value->ssid;
    if (block.value->psk) r.psk = *block.value->psk;
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
                         "priority=2\n}",
                     store);
}

void updateWifiIpConf(Store store) {
    platform::FileValue<std::string> address = readWifiAddress();
    if (!address.exists) {
        replyCannotOpen();
        return;
    }
    settings::SettingsRecord& r = settings::record();
    if (address.value) r.wifiip = *address.value;
    const std::string& line = settings::pendingLine();
    if (line.empty()) {
        std::printf("wifi ip=%s\n", r.wifiip.c_str());
        return;
    }
    std::printf("current:\nwifi ip=%s\n", r.wifiip.c_str());
    settings::parseSettingsText(line, line.size());
    std::printf("modify:\nwifi ip=%s\n", r.wifiip.c_str());
    writeFileAndSync("/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 " + r.wifiip + "\n", store);
}

// A text command: its reply, its change line, then the update.
Flow setWifiValue(const char* field, const char* reply, const char* linePrefix,
                  const char* lineSuffix, void (*update)(Store)) {
    std::string value;
    if (!readTextField(field, value)) return Flow::Continue;
    std::printf(reply, value.c_str());
    settings::setPendingLine(linePrefix + value + lineSuffix);
    update(Store::OwnChange);
    return Flow::Continue;
}

}  // namespace

platform::FileValue<char> readWifiFlag() { return platform::readFirstByte("/mnt/wifi/ifwifi"); }

platform::FileValue<WifiNetwork> readNetworkBlock() {
    platform::FileValue<WifiNetwork> read;
    std::optional<std::string> text = platform::readFile("/mnt/wifi/wpa.conf", kWifiFileReadBytes);
    read.exists = text.has_value();
    if (text) read.value = networkOf(*text);
    return read;
}

platform::FileValue<std::string> readWifiAddress() {
    platform::FileValue<std::string> read;
    std::optional<std::string> text =
        platform::readFile("/mnt/wifi/wifi_ip.conf", kWifiFileReadBytes);
    read.exists = text.has_value();
    if (text) read.value = addressOf(*text);
    return read;
}

void printWifiStatus() {
    platform::FileValue<char> flag = readWifiFlag();
    if (!flag.exists) return;
    if (!flag.value) {
        std::fputs("error\n", stdout);
    } else if (*flag.value == '1') {
        std::fputs("wifi: disable\n", stdout);
    } else {
        std::fputs("wifi: enable\n", stdout);
        updateWpaConf(Store::ReportOnly);
        updateWifiIpConf(Store::ReportOnly);
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
