// Network and stream outputs: output switches, Wi-Fi, MAC address.
#pragma once

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

}  // namespace network
