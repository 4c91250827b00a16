// Network settings: the Ethernet hardware address.
#pragma once

#include <string>

#include "dispatch/dispatch.h"

namespace network {

// 0 when text has the form XX:XX:XX:XX:XX:XX in hexadecimal digits of
// either case, -1 when not. Prints a line only for a wrong length.
int checkMacAddress(const std::string& text);

// Writes /mnt/mac.sh for the address in the pending change line, or says
// why it did not.
void writeMacScript();

Flow cmdMacAddress(int);

}  // namespace network
