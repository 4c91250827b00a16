// Network and stream outputs: output switches, Wi-Fi, MAC address.
#pragma once

#include <string>

#include "dispatch/dispatch.h"

namespace network {

// The four output groups of the status report.
void printStreamOutputStatus();

// The Wi-Fi lines of the status report. With the Wi-Fi enabled this also
// runs both Wi-Fi update operations, which apply a waiting pending change
// line to the settings record and rewrite the Wi-Fi files.
void printWifiStatus();

// Commands of the dispatcher; choice is the radio index where there is one.
Flow cmdTransportStream(int choice);
Flow cmdWifiSwitch(int choice);
Flow cmdStreamTag(int choice);
Flow cmdRtspRtmp(int choice);
Flow cmdSsid(int);
Flow cmdPasskey(int);
Flow cmdWifiIp(int);

// 0 when text has the form XX:XX:XX:XX:XX:XX in hexadecimal digits of
// either case, -1 when not. Prints a line only for a wrong length.
int checkMacAddress(const std::string& text);

// Writes /mnt/mac.sh for the address in the pending change line, or says
// why it did not.
void writeMacScript();

Flow cmdMacAddress(int);

}  // namespace network
