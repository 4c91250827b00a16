// The Ethernet hardware address, set at start-up by the one-line script
// /mnt/mac.sh that the boot process runs.
#include <cstdio>
#include <string>

#include "network/network.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace network {
namespace {

constexpr std::size_t kMacLength = 17;  // XX:XX:XX:XX:XX:XX
constexpr int kMacGroups = 6;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

int checkMacAddress(const std::string& text) {
    if (text.size() != kMacLength) {
        std::puts("mac's length is illegal");
        return -1;
    }
    int groups = 0;
    std::size_t begin = 0;
    for (;;) {
        std::size_t colon = text.find(':', begin);
        std::string group = text.substr(begin, colon == std::string::npos ? colon : colon - begin);
        if (group.size() != 2 || !isHexDigit(group[0]) || !isHexDigit(group[1])) return -1;
        ++groups;
        if (colon == std::string::npos) break;
        begin = colon + 1;
    }
    return groups == kMacGroups ? 0 : -1;
}

void writeMacScript() {
    const std::string& address = settings::pendingLine();
    if (checkMacAddress(address) != 0) {
        replyRefusal("set failed, please check your typed mac address and try again!\n");
        return;
    }
    std::puts("mac check pass...");
    if (!platform::writeFile("/mnt/mac.sh", "ifconfig eth0 hw ether " + address + "\n")) {
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
