// The Wi-Fi status with the Wi-Fi enabled, which reads both Wi-Fi files
// and, with a pending change line, applies it to the record, reports it and
// leaves both files as they are. The input
// is up to three sections separated by 0x1E: the pending change line,
// /mnt/wifi/wpa.conf and /mnt/wifi/wifi_ip.conf (a missing section is a
// missing file). The colour file is a directory: colour keys in the line
// are applied but write nothing.
#include <cstdint>
#include <string>
#include <utility>

#include "network/network.h"
#include "settings/settings.h"
#include "support/fuzz_root.h"

namespace {

// An address line as the program writes it, with an address the reader
// must give back whole.
std::optional<std::string> plainAddress(const std::string& file) {
    const std::string prefix = "ifconfig wlan0 ";
    if (file.rfind(prefix, 0) != 0) return std::nullopt;
    std::size_t end = file.find('\n', prefix.size());
    if (end == std::string::npos || end + 1 != file.size()) return std::nullopt;
    std::string address = file.substr(prefix.size(), end - prefix.size());
    if (address.size() > settings::kWifiAddressMax ||
        address.find_first_not_of("0123456789.:") != std::string::npos)
        return std::nullopt;
    return address;
}

std::string networkBlock(const std::string& ssid, const std::string& psk) {
    return "network={\nssid=" + ssid + "\npsk=" + psk +
           "\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\npriority=2\n}";
}

// The name and pass phrase of a network block as the program writes it,
// when both are values the reader must give back whole.
std::optional<std::pair<std::string, std::string>> plainNetwork(const std::string& file) {
    const std::size_t ssidAt = file.find("\nssid=");
    const std::size_t pskAt = file.find("\npsk=");
    if (ssidAt == std::string::npos || pskAt == std::string::npos || pskAt < ssidAt)
        return std::nullopt;
    const std::string ssid = file.substr(ssidAt + 6, pskAt - ssidAt - 6);
    const std::size_t pskEnd = file.find('\n', pskAt + 5);
    if (pskEnd == std::string::npos) return std::nullopt;
    const std::string psk = file.substr(pskAt + 5, pskEnd - pskAt - 5);
    const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\" ._-";
    for (const std::string* v : {&ssid, &psk})
        if (v->size() > settings::kWifiNetworkValueMax ||
            v->find_first_not_of(plain) != std::string::npos)
            return std::nullopt;
    if (file != networkBlock(ssid, psk)) return std::nullopt;
    return std::make_pair(ssid, psk);
}

// Whether a line of the change line begins with the key.
bool setsKey(const std::string& line, const std::string& key) {
    for (std::size_t at = 0; at < line.size(); at = line.find('\n', at) + 1) {
        if (line.compare(at, key.size(), key) == 0) return true;
        if (line.find('\n', at) == std::string::npos) break;
    }
    return false;
}

bool setsNetwork(const std::string& line) { return setsKey(line, "ssid=") || setsKey(line, "psk="); }

bool setsWifiAddress(const std::string& line) { return setsKey(line, "wifiip="); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    fuzzing::put("/mnt/wifi/ifwifi", "0\n");
    fuzzing::putDirectory("/mnt/color.ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = fuzzing::sections(fuzzing::text(data, size), 3);
    const char* const files[] = {"/mnt/wifi/wpa.conf", "/mnt/wifi/wifi_ip.conf"};
    fuzzing::startRequest();
    for (int i = 0; i < 2; ++i) {
        if (parts[i + 1])
            fuzzing::put(files[i], *parts[i + 1]);
        else
            fuzzing::remove(files[i]);
    }
    settings::setPendingLine(parts[0].value_or(""));
    const std::string line = settings::pendingLine();
    fuzzing::startOutput();
    network::printWifiStatus();
    FUZZ_CHECK(fuzzing::output().rfind("wifi: enable\n", 0) == 0);

    // Only a change of their own values writes these files.
    FUZZ_CHECK(fuzzing::get(files[0]) == parts[1]);
    FUZZ_CHECK(fuzzing::get(files[1]) == parts[2]);
    if (line.empty()) return 0;

    const settings::SettingsRecord& r = settings::record();
    if (parts[1]) {
        const auto before = plainNetwork(*parts[1]);
        if (before && !setsNetwork(line))
            FUZZ_CHECK(r.ssid == before->first && r.psk == before->second);
    }
    if (parts[2]) {
        const std::optional<std::string> before = plainAddress(*parts[2]);
        if (before && !setsWifiAddress(line)) FUZZ_CHECK(r.wifiip == *before);
    }
    return 0;
}
