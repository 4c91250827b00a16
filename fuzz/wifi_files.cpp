// The Wi-Fi status with the Wi-Fi enabled, which reads both Wi-Fi files
// and, with a pending change line, applies it and rewrites them. The input
// is up to three sections separated by 0x1E: the pending change line,
// /mnt/wifi/wpa.conf and /mnt/wifi/wifi_ip.conf (a missing section is a
// missing file). The colour file is a directory: colour keys in the line
// are applied but write nothing.
#include <cstdint>
#include <string>

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
    if (end == std::string::npos) return std::nullopt;
    std::string address = file.substr(prefix.size(), end - prefix.size());
    if (address.size() > settings::kWifiFieldMax ||
        address.find_first_not_of("0123456789.:") != std::string::npos)
        return std::nullopt;
    return address;
}

bool setsWifiAddress(const std::string& line) {
    for (std::size_t i = 0; i + 6 < line.size(); ++i)
        if (line[i] == 'w' && line[i + 1] == 'i' && line[i + 5] == 'p' && line[i + 6] == '=')
            return true;
    return false;
}

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

    const std::optional<std::string> wpa = fuzzing::get(files[0]);
    const std::optional<std::string> address = fuzzing::get(files[1]);
    if (line.empty() || !parts[1]) FUZZ_CHECK(wpa == parts[1]);
    if (line.empty() || !parts[2]) FUZZ_CHECK(address == parts[2]);
    if (line.empty()) return 0;

    const settings::SettingsRecord& r = settings::record();
    if (parts[1])
        FUZZ_CHECK(wpa == "network={\nssid=" + r.ssid + "\npsk=" + r.psk +
                              "\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\n"
                              "priority=2\n}");
    if (parts[2]) {
        FUZZ_CHECK(address == "ifconfig wlan0 " + r.wifiip + "\n");
        // A rewrite keeps a stored address that the line does not change.
        const std::optional<std::string> before = plainAddress(*parts[2]);
        if (before && !setsWifiAddress(line)) FUZZ_CHECK(r.wifiip == *before);
    }
    return 0;
}
