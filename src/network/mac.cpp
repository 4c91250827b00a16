// The Ethernet hardware address, set at start-up by the one-line script
// /mnt/mac.sh that the boot process runs.
#include <algorithm>
#include <cstdio>
#include <string>

#include "network/network.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace network {
namespace {

constexpr std::size_t kMacLength = 17;  // XX:XX:XX:XX:XX:XX
constexpr int kMacGroups = 6;
constexpr const char* kMacScript = "/mnt/mac.sh";
constexpr const char* kMacCommand = "ifconfig eth0 hw ether ";
// The script is one line; anything longer is not ours.
constexpr std::size_t kMacScriptMaxBytes = 4096;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

bool isMacAddress(const std::string& text) {
    if (text.size() != kMacLength) return false;
    int groups = 0;
    std::size_t begin = 0;
    for (;;) {
        std::size_t colon = text.find(':', begin);
        std::string group = text.substr(begin, colon == std::string::npos ? colon : colon - begin);
        if (group.size() != 2 || !isHexDigit(group[0]) || !isHexDigit(group[1])) return false;
        ++groups;
        if (colon == std::string::npos) break;
        begin = colon + 1;
    }
    return groups == kMacGroups;
}

int checkMacAddress(const std::string& text) {
    if (text.size() != kMacLength) {
        std::puts("mac's length is illegal");
        return -1;
    }
    return isMacAddress(text) ? 0 : -1;
}

platform::FileValue<std::string> readMacScript() {
    platform::FileValue<std::string> read;
    std::optional<std::string> text = platform::readFile(kMacScript, kMacScriptMaxBytes);
    read.exists = text.has_value();
    if (!text) return read;
    const std::string prefix = kMacCommand;
    if (text->compare(0, prefix.size(), prefix) != 0) return read;
    std::string address = text->substr(prefix.size(), kMacLength);
    const std::string rest = text->substr(std::min(text->size(), prefix.size() + kMacLength));
    if (isMacAddress(address) && (rest.empty() || rest[0] == '\n' || rest[0] == '\r'))
        read.value = address;
    return read;
}

void writeMacScript() {
    const std::string& address = settings::pendingLine();
    if (checkMacAddress(address) != 0) {
        replyRefusal("set failed, please check your typed mac address and try again!\n");
        return;
    }
    std::puts("mac check pass...");
    if (!platform::writeFile(kMacScript, kMacCommand + address + "\n")) {
        replyCannotOpen();
        return;
    }
    platform::shellSync();
    platform::shellSync();
    std::puts("set ok");
}

Flow cmdMacAddress(int) {
    std::string value;
    if (!readTextField("mac", value)) return Flow::Continue;
    std::printf("set mac=%s\n", value.c_str());
    // A value the line cannot carry is far beyond an address's length; an
    // empty line fails the same length check.
    if (!settings::setPendingLine(value)) settings::clearPendingLine();
    writeMacScript();
    return Flow::Continue;
}

}  // namespace network
