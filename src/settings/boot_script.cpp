// The boot-script rewrite: read /mnt/autorun.sh, load its header, print the
// device status report, apply the pending change line and write a new
// header in front of the unchanged tail.
#include <algorithm>
#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "network/network.h"
#include "overlay/overlay.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace settings {
namespace {

// A shorter new script is taken for a damaged one.
constexpr std::size_t kMinimumScriptLength = 300;

std::string header(const SettingsRecord& r) {
    char head[1024];
    std::snprintf(head, sizeof head,
                  "ip=%s\nnetmask=%s\ngateway=%s\nexport GW=$gateway\ntz=%s\ntc=%d\nfi=%d\n"
                  "ctrlencode=%d\nctrlcodec=%d\nbitrate=%d\nframerate=%d\naudiosample=%d\n"
                  "audiobps=%d\nwidth=%d\nheight=%d\n",
                  r.ip.c_str(), r.netmask.c_str(), r.gateway.c_str(), r.tz.c_str(), r.tc, r.fi,
                  r.ctrlencode, r.ctrlcodec, r.bitrate, r.framerate, r.audiosample, r.audiobps,
                  r.width, r.height);
    // The url alone may be long; it is appended rather than formatted.
    return head + std::string("url=") + r.url.c_str() + "\n";
}

void printStatusReport() {
    const SettingsRecord& r = record();
    std::printf("\nip=%s\nnetmask=%s\ngateway=%s\n", r.ip.c_str(), r.netmask.c_str(),
                r.gateway.c_str());
    network::printWifiStatus();
    std::printf("ttl=%d\n", capture::readTtl());
    std::printf("\nts receive ip=%s\nts receive port=%d\n", r.tz.c_str(), r.tc);
    capture::printCaptureStatus();
    std::printf("bitrate=%d\nframerate=%d\nI frame num=%d,IDR frame num=%d\n", r.bitrate,
                r.framerate, r.fi, capture::readIdrInterval());
    capture::printEncoderStatus();
    network::printStreamOutputStatus();
    if (r.ctrlcodec == 1)
        std::printf("enable video sclaing\nvideo sclaing width=%d\nvideo sclaing height=%d\n\n",
                    r.width, r.height);
    else if (r.ctrlcodec == 2)
        std::puts("disable video sclaing\n");
    std::printf("audio enable=%d\n", r.ctrlencode);
    overlay::printAudioInputStatus();
    overlay::printVolumeStatus("/mnt/asound.state");
    std::printf("audio sample=%d\naudio bitrate=%d\n\n", r.audiosample, r.audiobps);
}

void printModified() {
    const SettingsRecord& r = record();
    std::printf(
        "Modify:\nip=%s\nnetmask=%s\ngateway=%s\nbitrate=%d\nframerate=%d\nts receive ip=%s\n"
        "ts receive port=%d\nI frame num=%d\naudio enable=%d\naudio sample=%d\n"
        "audio bitrate=%d\n",
        r.ip.c_str(), r.netmask.c_str(), r.gateway.c_str(), r.bitrate, r.framerate, r.tz.c_str(),
        r.tc, r.fi, r.ctrlencode, r.audiosample, r.audiobps);
}

// A change line as the reply shows it: its length stays the line's own,
// a stream key in it is not shown.
std::string shownLine(const std::string& line) {
    if (line.compare(0, 4, "url=") != 0) return line;
    const bool newline = line.back() == '\n';
    return "url=" + shownRtmpUrl(line.substr(4, line.size() - 4 - newline)) + (newline ? "\n" : "");
}

// The report as a status query prints it: the change line held back, so
// the Wi-Fi blocks neither apply it nor flush anything.
void printQueryReport() {
    const std::string waiting = pendingLine();
    clearPendingLine();
    printStatusReport();
    setPendingLine(waiting);
}

// The header the change line would give, worked out on a copy of the record.
std::string plannedHeader(const std::string& line) {
    const SettingsRecord before = record();
    parseSettingsText(line, line.size(), ColourKeys::Skip);
    std::string head = header(record());
    record() = before;
    return head;
}

// Why a new script would not be written, decided before anything changes.
enum class Plan { Write, Cut, HoldsMarker, HidesMarker };

Plan planOf(const std::string& updated, std::size_t headerSize) {
    if (updated.size() < kMinimumScriptLength) return Plan::Cut;
    const std::size_t marker = updated.find("end");
    // A value holding "end" (carried over from an old header) would be taken
    // for the marker: the next rewrite would repeat the rest of the header
    // in the tail, where the script would read the old values after the new.
    if (marker < headerSize) return Plan::HoldsMarker;
    // A header grown past the scan limit would hide the marker from every
    // later scan.
    if (marker == std::string::npos || marker >= kHeaderScanLimit) return Plan::HidesMarker;
    return Plan::Write;
}

}  // namespace

bool isHeaderKey(const ValueRule& rule) {
    using R = SettingsRecord;
    if (rule.scanKind == ScanKind::None || rule.scanKind == ScanKind::EndMarker) return false;
    return rule.text != &R::ssid && rule.text != &R::psk && rule.text != &R::wifiip;
}

std::optional<std::size_t> headerEnd(const std::string& script) {
    const std::size_t marker = script.find("end");
    // An "end" inside a line (a comment, a value the scanner ignored) is no
    // header end: taking it would carry the rest of the old header into the
    // tail, where its old values would override the new ones at boot.
    if (marker == std::string::npos || marker >= kHeaderScanLimit) return std::nullopt;
    if (marker != 0 && script[marker - 1] != '\n') return std::nullopt;
    return marker;
}

BootHeader readBootHeader(const std::string& script) {
    BootHeader read;
    read.scan = scanSettingsText(script, kHeaderScanLimit);
    applyScanned(read.scan, ColourKeys::Skip);
    read.end = headerEnd(script);
    // A value is read back only whole: one the rewrite would cut, pad or
    // reread differently (a comment after it, quotes, blanks) cannot be
    // written back as the shell reads it now.
    for (const ScannedItem& item : read.scan.items) {
        if (!isHeaderKey(*item.rule) || !refusalFor(*item.rule, item.value)) continue;
        if (std::find(read.unreadable.begin(), read.unreadable.end(), item.rule->key) ==
            read.unreadable.end())
            read.unreadable.push_back(item.rule->key);
    }
    return read;
}

std::size_t headerRoom(const ValueRule& rule) {
    const SettingsRecord& r = record();
    const std::size_t own = rule.text     ? (r.*rule.text).size()
                            : rule.number ? std::to_string(r.*rule.number).size()
                                          : 0;
    const std::size_t others = header(r).size() - own;
    return others >= kHeaderScanLimit ? 0 : kHeaderScanLimit - 1 - others;
}

void rewriteBootScript() {
    // Read whole: a long tail is carried over, never cut.
    std::optional<std::string> script = platform::readFile("/mnt/autorun.sh");
    if (!script) {
        replyCannotOpen("Can't open file autorun.sh");
        return;
    }
    const BootHeader old = readBootHeader(*script);
    const std::string line = pendingLine();
    // A status query writes nothing, not even for a colour key in the header.
    if (line.empty()) {
        printStatusReport();
        return;
    }
    // A header that cannot be placed or read back is left as it is: report only.
    std::string refusal;
    if (!old.end)
        refusal = "error: autorun.sh has no header end, nothing changed";
    else if (!old.unreadable.empty())
        refusal = "error: autorun.sh: " + old.unreadable.front() + " cannot be read, nothing changed";
    if (!refusal.empty()) {
        printQueryReport();
        replyRefusalLine(refusal.c_str());
        return;
    }

    const std::string head = plannedHeader(line);
    const std::string updated = head + script->substr(*old.end);
    const Plan plan = planOf(updated, head.size());
    // A change stopped below leaves the colour file as it was too.
    holdColourKeys(plan != Plan::Write);
    if (plan == Plan::Write) applyScanned(old.scan, ColourKeys::Apply);
    printStatusReport();
    std::printf("\nread cmd ok, read len = %d, cmdbuf = %s\n", static_cast<int>(line.size()),
                shownLine(line).c_str());
    applyPendingLine();
    holdColourKeys(false);
    printModified();
    switch (plan) {
        case Plan::Cut:
            replyRefusalLine("error: autorun.sh would be cut, nothing changed");
            return;
        case Plan::HoldsMarker:
            replyRefusalLine("error: a header value holds \"end\", nothing changed");
            return;
        case Plan::HidesMarker:
            replyRefusal("error len");
            return;
        case Plan::Write:
            break;
    }

    platform::runShell("cp -f " + platform::shellPath("/mnt/autorun.sh") + " " +
                       platform::shellPath("/mnt/autorun.sh.swp"));
    platform::shellSync();
    platform::shellSync();
    if (!platform::writeFile("/mnt/autorun.sh", updated)) {
        replyCannotOpen("Can't open file autorun.sh");
        return;
    }
    platform::shellSync();
    platform::shellSync();
    setPendingLine("ok");
    std::puts("set ok");
}

}  // namespace settings
