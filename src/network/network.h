// Network and stream outputs: output switches, Wi-Fi, MAC address.
#pragma once

#include <string>

#include "platform/fields.h"

#include "platform/platform.h"

namespace network {

// ---- What the output switch files hold (first bytes), and the stream
// selection: which stream feeds each output, 0 the main one.
struct StreamSelection {
    int transportStream = 0;
    int rtspRtmp = 0;
    int found = 0;  // integers the file holds, up to two
};
struct OutputFiles {
    platform::FileValue<char> ts, httpts, tcp, rtsp, rtsporrtmp;
    platform::FileValue<StreamSelection> selection;
};
OutputFiles readOutputFiles();

// The four output groups of the status report.
void printStreamOutputStatus();

// ---- Wi-Fi files.
// The name and pass phrase as they stand in the network block (quotes
// included); a key the block lacks, or whose value is too long to read, is
// nullopt. A readable value has the form this program writes back as it is.
struct WifiNetwork {
    std::optional<std::string> ssid;
    std::optional<std::string> psk;
    bool ssidLine = false, pskLine = false;          // the lines stand in the block
    bool ssidReadable = false, pskReadable = false;
    // Within the bytes read, one block, and no security but a pass phrase
    // or none: a rewrite loses nothing it holds of the network.
    bool blockReadable = true;
};
// A value of the network block without its double quotes, if it has them.
std::string unquoted(const std::string& value);

// A pass phrase as replies show it: "********", in its quotes where it has
// them; empty stays empty (no pass phrase). The state document with its
// secrets is where a backup reads the real one.
std::string maskedPassPhrase(const std::string& psk);

platform::FileValue<char> readWifiFlag();
platform::FileValue<WifiNetwork> readNetworkBlock();
// The address of the first "ifconfig wlan0 " line; no value when there is
// none or it is too long to be read back.
platform::FileValue<std::string> readWifiAddress();

// ---- MAC address script: the address of its "ifconfig eth0 hw ether" line.
platform::FileValue<std::string> readMacScript();

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
