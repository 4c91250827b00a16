// The Ethernet hardware address, set at start-up by the one-line script
// /mnt/mac.sh that the boot process runs.
#include <algorithm>
#include <cstdio>
#include <string>

#include "network/network.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace network {
namespace {

constexpr std::size_t kMacLength = 17;  // XX:XX:XX:XX:XX:XX
constexpr const char* kMacScript = "/mnt/mac.sh";
constexpr const char* kMacCommand = "ifconfig eth0 hw ether ";
// The script is one line; anything longer is not ours.
constexpr std::size_t kMacScriptMaxBytes = 4096;

}  // namespace

int checkMacAddress(const std::string& text) {
    if (text.size() != kMacLength) {
        std::puts("mac's length is illegal");
        return -1;
    }
    return settings::isMacAddress(text) ? 0 : -1;
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
    if (settings::isMacAddress(address) && (rest.empty() || rest[0] == '\n' || rest[0] == '\r'))
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
