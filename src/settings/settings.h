// The settings record of the boot-script header and the Wi-Fi files, the
// pending change line that carries one change to the operation applying
// it, and the key scanner that reads assignments into the record.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/fields.h"

namespace settings {

// Longest value each text field of the record holds; the scanner's rows
// of the value rules enforce them.
constexpr std::size_t kUrlMax = 255;
// A url the form may set: "url=", the value and the line end fill the
// change line.
constexpr std::size_t kUrlFieldMax = 250;
constexpr std::size_t kWifiNetworkValueMax = 65;  // ssid, psk: a quoted 63-byte phrase or a raw key
constexpr std::size_t kWifiAddressMax = 49;       // wifiip
constexpr std::size_t kAddressMax = 19;           // ip, tz, netmask, gateway

struct SettingsRecord {
    std::string url = "rtmp://192.168.18.7/live/kovra";
    std::string ssid = "kovra";
    std::string psk = "plume";
    std::string wifiip = "192.168.0.9";
    std::string ip = "192.168.18.209";
    std::string tz = "192.168.18.122";
    int tc = 1234;
    std::string netmask = "255.255.255.0";
    std::string gateway = "192.168.18.1";
    int ctrlencode = 1;
    int ctrlcodec = 1;  // video scaling: 1 on, 2 off
    int bitrate = 2000000;
    int framerate = 25;
    int fi = 100;
    int headerLength = 200;  // position of the end marker in the boot script
    int audiosample = 44100;
    int audiobps = 96000;
    int width = 1024;
    int height = 768;
};

// The record of this request, starting from the defaults.
SettingsRecord& record();

// The pending change line holds at most this many characters.
constexpr std::size_t kPendingLineMax = 255;

// The line left by the last command of this request (empty at start).
const std::string& pendingLine();

// Stores a line; false, leaving the old line, when it is longer than
// kPendingLineMax.
bool setPendingLine(const std::string& line);

void clearPendingLine();

struct ValueRule;

// One assignment the scanner found: a key of the value rules as a whole
// name at the start of a line, then "=".
struct ScannedItem {
    const ValueRule* rule = nullptr;
    std::size_t position = 0;  // where the key stands
    std::string value;         // from after "=" to the line end (CR or LF)
    char first = '\0';         // the character after "=", whatever it is
    bool taken = false;        // a line end follows within the key's longest value
};
struct ScanResult {
    std::vector<ScannedItem> items;        // in text order
    std::optional<std::size_t> endMarker;  // the first "end" within the limit
};

// Finds the assignments on lines that start within the first limit
// characters of text (nothing when limit is 2 or less) and before the first
// "end", which ends the scan wherever it stands.
ScanResult scanSettingsText(const std::string& text, std::size_t limit);

// Stores what a scan found into the record, the last assignment of a key
// winning; colour keys update the colour file, unless held with Skip (a
// reader that must not write, a change that will not go ahead).
enum class ColourKeys { Apply, Skip };
void applyScanned(const ScanResult& scan, ColourKeys colourKeys = ColourKeys::Apply);

// Both of the above.
void parseSettingsText(const std::string& text, std::size_t limit,
                       ColourKeys colourKeys = ColourKeys::Apply);

// Applies the pending change line to the record, colour keys included
// unless a rewrite that will not go ahead holds them.
void applyPendingLine();

// While held, applyPendingLine matches colour keys without applying them.
void holdColourKeys(bool held);

// The end marker must begin within this many characters of the boot script.
constexpr std::size_t kHeaderScanLimit = 300;

// Where the boot script's header ends: the first "end" within the first
// kHeaderScanLimit characters, when it begins a line; nullopt otherwise.
std::optional<std::size_t> headerEnd(const std::string& script);

// The boot script's header as this program can read it back: where it
// ends, the keys whose lines it cannot take whole (each breaks its row of
// the value rules), and its colour assignments. The record is loaded as the
// status report shows it; colour keys are not applied.
struct BootHeader {
    std::optional<std::size_t> end;
    std::vector<std::string> unreadable;  // first line first, each key once
    ScanResult scan;
};
BootHeader readBootHeader(const std::string& script);

// A key the boot-script header holds (the Wi-Fi keys belong to the Wi-Fi
// files: the rewrite neither reads nor writes them).
bool isHeaderKey(const ValueRule& rule);

// How many characters the value of a header key may have so that, with the
// other values as the record holds them, a rewritten header still ends
// within kHeaderScanLimit characters.
std::size_t headerRoom(const ValueRule& rule);

// Reads /mnt/autorun.sh, prints the device status report and, when a
// pending change line waits, applies it and rewrites the script's header
// in front of its unchanged tail (after a backup copy).
void rewriteBootScript();

// Commands of the dispatcher; choice is the radio index where there is one.
Flow cmdStatus(int);
Flow cmdTemplate(int choice);
Flow cmdScaling(int choice);
Flow cmdAudioEncoding(int choice);
Flow cmdReboot(int);
Flow cmdScalingWidth(int);
Flow cmdScalingHeight(int);
Flow cmdRtmpUrl(int);
Flow cmdAddress(int);
Flow cmdNetmask(int);
Flow cmdGateway(int);
Flow cmdBitrate(int);
Flow cmdAudioSample(int);
Flow cmdAudioBitrate(int);
Flow cmdFrameRate(int);
Flow cmdTsAddress(int);
Flow cmdTsPort(int);
Flow cmdIFrameInterval(int);

}  // namespace settings
