// Wi-Fi: the enable flag, the network block read by wpa_supplicant and the
// address line the network start-up runs. The two update operations both
// report and, when a pending change line waits, apply it and rewrite.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fields.h"
#include "network/network.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace network {
namespace {

// Both Wi-Fi files are read as their first bytes only.
constexpr std::size_t kWifiFileReadBytes = 2000;
// What replies show in place of a pass phrase.
constexpr const char* kMaskedPassPhrase = "********";

// The lines of text, each without its line end (LF, or CR LF).
std::vector<std::string_view> linesOf(const std::string& text) {
    std::vector<std::string_view> lines;
    const std::string_view all(text);
    std::size_t begin = 0;
    while (begin < all.size()) {
        std::size_t end = all.find('\n', begin);
        if (end == std::string_view::npos) end = all.size();
        std::string_view line = all.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

std::string_view trimmed(std::string_view line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    line.remove_prefix(start);
    return line.substr(0, line.find_last_not_of(" \t") + 1);
}

// A network name in the form this program writes: in double quotes, a name
// the ssid rule takes.
bool readableName(const std::string& value) {
    const settings::ValueRule& rule = *settings::ruleForKey("ssid");
    return value.size() >= 2 && value.front() == '"' && value.back() == '"' &&
           !settings::refusalFor(rule, unquoted(value));
}

// A pass phrase in double quotes or a raw key of 64 hexadecimal digits
// without them, as wpa_supplicant takes them.
bool readablePassPhrase(const std::string& value) {
    const settings::ValueRule& rule = *settings::ruleForKey("psk");
    const std::string phrase = unquoted(value);
    const bool quoted = phrase.size() + 2 == value.size();
    return !settings::refusalFor(rule, phrase) && (phrase.size() == 64) != quoted;
}

// The network name and pass phrase: "ssid=" and "psk=" at the start of a
// line (after blanks), so "scan_ssid=" or "bssid=" in a hand-written block
// is never taken for the name. A later line overrides an earlier one.
WifiNetwork networkOf(const std::string& text) {
    WifiNetwork network;
    const struct {
        const char* key;
        const char* prefix;
        std::optional<std::string> WifiNetwork::*value;
        bool WifiNetwork::*present;
        bool WifiNetwork::*readable;
        bool (*form)(const std::string&);
    } keys[] = {{"ssid", "ssid=", &WifiNetwork::ssid, &WifiNetwork::ssidLine, &WifiNetwork::ssidReadable,
                 readableName},
                {"psk", "psk=", &WifiNetwork::psk, &WifiNetwork::pskLine, &WifiNetwork::pskReadable,
                 readablePassPhrase}};
    int blocks = 0;
    std::optional<std::string_view> keyManagement;
    for (std::string_view line : linesOf(text)) {
        line = line.substr(0, line.find('\0'));
        const std::string_view item = trimmed(line);
        if (item == "network={") ++blocks;
        if (item.substr(0, 9) == "key_mgmt=") keyManagement = item.substr(9);
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) continue;
        for (const auto& key : keys) {
            if (line.compare(start, std::strlen(key.prefix), key.prefix) != 0) continue;
            const std::string value(line.substr(start + std::strlen(key.prefix)));
            const bool shown = value.size() <= settings::ruleForKey(key.key)->longest;
            network.*key.value = shown ? std::optional<std::string>(value) : std::nullopt;
            network.*key.present = true;
            network.*key.readable = key.form(value);
        }
    }
    // Without a pass phrase the only security this program can write back
    // is none; a second block would be lost in a rewrite.
    if (blocks > 1 || (!network.pskLine && keyManagement && *keyManagement != "NONE"))
        network.blockReadable = false;
    return network;
}

// The address of the first line that begins with "ifconfig wlan0 ". A value
// too long for the field is not taken: the report shows the default, and
// the file is never rewritten from it.
std::optional<std::string> addressOf(const std::string& text) {
    const std::string_view prefix = "ifconfig wlan0 ";
    for (std::string_view line : linesOf(text)) {
        if (line.substr(0, prefix.size()) != prefix) continue;
        std::string_view value = line.substr(prefix.size());
        value = value.substr(0, value.find('\0'));
        if (value.size() <= settings::ruleForKey("wifiip")->longest) return std::string(value);
        return std::nullopt;
    }
    return std::nullopt;
}

// The block for a name and a pass phrase, or an open network without one;
// wpa_supplicant reads both.
std::string networkBlockText(const std::string& ssid, const std::string& psk) {
    if (psk.empty()) return "network={\nssid=" + ssid + "\nkey_mgmt=NONE\npriority=2\n}";
    return "network={\nssid=" + ssid + "\npsk=" + psk +
           "\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\npriority=2\n}";
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

// A file missing from another command's report is that command's note,
// not its failure.
void missingFile(Store store) {
    if (store == Store::OwnChange)
        replyCannotOpen();
    else
        std::puts("Can't open file");
}

// Why a change of the name (or, with passPhrase, of the pass phrase) must
// leave the block as it is; nullptr when it may go ahead. A block is
// rewritten whole, so whatever it holds besides the changed value must be
// read back whole first.
const char* refusalOfBlock(const WifiNetwork& block, bool passPhrase) {
    if (!block.blockReadable || (passPhrase ? block.ssidLine && !block.ssidReadable
                                            : block.pskLine && !block.pskReadable))
        return "error: wpa.conf cannot be read, nothing changed";
    if (passPhrase && !block.ssidLine) return "error: wpa.conf holds no network name, nothing changed";
    return nullptr;
}

enum class Change { None, Name, PassPhrase };

void updateWpaConf(Store store, Change change) {
    platform::FileValue<WifiNetwork> block = readNetworkBlock();
    // A missing file is a report's note; a change starts the file or says
    // why it cannot.
    if (!block.exists && change == Change::None) {
        missingFile(store);
        return;
    }
    const WifiNetwork network = block.value.value_or(WifiNetwork{});
    if (change != Change::None) {
        if (const char* refusal = refusalOfBlock(network, change == Change::PassPhrase)) {
            replyRefusalLine(refusal);
            return;
        }
    }
    // What the block holds, nothing made up: a block without a pass phrase
    // shows none.
    settings::SettingsRecord& r = settings::record();
    r.ssid = network.ssid.value_or("");
    r.psk = network.psk.value_or("");
    const std::string& line = settings::pendingLine();
    if (line.empty()) {
        std::printf("ssid=%s\n", r.ssid.c_str());
        return;
    }
    std::printf("current:\nssid=%s, psk=%s\n", r.ssid.c_str(), maskedPassPhrase(r.psk).c_str());
    settings::applyPendingLine();
    std::printf("modify:\nssid=%s, psk=%s\n", r.ssid.c_str(), maskedPassPhrase(r.psk).c_str());
    writeFileAndSync("/mnt/wifi/wpa.conf", networkBlockText(r.ssid, r.psk), store);
}

void updateWifiIpConf(Store store) {
    platform::FileValue<std::string> address = readWifiAddress();
    if (!address.exists) {
        missingFile(store);
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
    settings::applyPendingLine();
    std::printf("modify:\nwifi ip=%s\n", r.wifiip.c_str());
    writeFileAndSync("/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 " + r.wifiip + "\n", store);
}

// A text command: its reply, its change line, then the update.
bool readWifiValue(const char* field, const char* reply, std::string& value) {
    if (!readTextField(field, value)) return false;
    std::printf(reply, value.c_str());
    return true;
}

}  // namespace

std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

std::string maskedPassPhrase(const std::string& psk) {
    if (psk.empty()) return psk;
    const bool quoted = psk.size() >= 2 && psk.front() == '"' && psk.back() == '"';
    return quoted ? "\"" + std::string(kMaskedPassPhrase) + "\"" : kMaskedPassPhrase;
}

platform::FileValue<char> readWifiFlag() { return platform::readFirstByte("/mnt/wifi/ifwifi"); }

platform::FileValue<WifiNetwork> readNetworkBlock() {
    platform::FileValue<WifiNetwork> read;
    std::optional<std::string> text =
        platform::readFile("/mnt/wifi/wpa.conf", kWifiFileReadBytes + 1);
    read.exists = text.has_value();
    if (!text) return read;
    const bool cut = text->size() > kWifiFileReadBytes;
    if (cut) text->resize(kWifiFileReadBytes);
    read.value = networkOf(*text);
    // A block past the bytes read may hold anything.
    if (cut) read.value->blockReadable = false;
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
        updateWpaConf(Store::ReportOnly, Change::None);
        updateWifiIpConf(Store::ReportOnly);
    }
}

Flow cmdWifiSwitch(int choice) {
    std::fputs(choice == 1 ? "disable wifi\n" : "enable wifi\n", stdout);
    platform::shellTouch("/mnt/wifi/ifwifi");
    echoFlagFile(choice, "/mnt/wifi/ifwifi");
    platform::shellSync();
    return Flow::Continue;
}

Flow cmdSsid(int) {
    std::string value;
    if (!readWifiValue("ssid", "set ssid:%s\n", value)) return Flow::Continue;
    settings::setPendingLine("ssid=\"" + value + "\"\n");
    updateWpaConf(Store::OwnChange, Change::Name);
    return Flow::Continue;
}

Flow cmdPasskey(int) {
    std::string value;
    if (!readTextField("passkey", value)) return Flow::Continue;
    std::printf("set passkey:%s\n", kMaskedPassPhrase);
    // A raw key stands without quotes; wpa_supplicant would take it quoted
    // for a 64-character pass phrase.
    const bool rawKey = value.size() == 64;
    settings::setPendingLine(rawKey ? "psk=" + value + "\n" : "psk=\"" + value + "\"\n");
    updateWpaConf(Store::OwnChange, Change::PassPhrase);
    return Flow::Continue;
}

Flow cmdWifiIp(int) {
    std::string value;
    if (!readWifiValue("wifi_ip", "set wifi ip:%s\n", value)) return Flow::Continue;
    settings::setPendingLine("wifiip=" + value + "\n");
    updateWifiIpConf(Store::OwnChange);
    return Flow::Continue;
}

}  // namespace network
