// The boot-script rewrite: read /mnt/autorun.sh, load its header, print the
// device status report, apply the pending change line and write a new
// header in front of the unchanged tail.
#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "network/network.h"
#include "overlay/overlay.h"
#include "platform/platform.h"
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

}  // namespace

std::optional<std::size_t> headerEnd(const std::string& script) {
    const std::size_t marker = script.find("end");
    // An "end" inside a line (a comment, a value the scanner ignored) is no
    // header end: taking it would carry the rest of the old header into the
    // tail, where its old values would override the new ones at boot.
    if (marker == std::string::npos || marker >= kHeaderScanLimit) return std::nullopt;
    if (marker != 0 && script[marker - 1] != '\n') return std::nullopt;
    return marker;
}

void rewriteBootScript() {
    // Read whole: a long tail is carried over, never cut.
    std::optional<std::string> script = platform::readFile("/mnt/autorun.sh");
    if (!script) {
        replyCannotOpen("Can't open file autorun.sh");
        return;
    }
    parseSettingsText(*script, kHeaderScanLimit);
    const std::optional<std::size_t> marker = headerEnd(*script);
    const bool hasMarker = marker.has_value();
    const std::size_t tailOffset = marker.value_or(0);

    // Without a header end no change can be placed safely: report only.
    if (!hasMarker && !pendingLine().empty()) {
        const std::string waiting = pendingLine();
        clearPendingLine();
        printStatusReport();
        setPendingLine(waiting);
        std::puts("error: autorun.sh has no header end, nothing changed");
        return;
    }
    printStatusReport();

    const std::string line = pendingLine();
    if (line.empty()) return;
    std::printf("\nread cmd ok, read len = %d, cmdbuf = %s\n", static_cast<int>(line.size()),
                line.c_str());
    parseSettingsText(line, line.size());
    printModified();

    const std::string head = header(record());
    const std::string updated = head + script->substr(tailOffset);
    if (updated.size() < kMinimumScriptLength) return;
    const std::size_t newMarker = updated.find("end");
    // A value holding "end" (carried over from an old header) would be taken
    // for the marker: the next rewrite would repeat the rest of the header
    // in the tail, where the script would read the old values after the new.
    if (newMarker < head.size()) {
        std::puts("error: a header value holds \"end\", nothing changed");
        return;
    }
    // A header grown past the scan limit would hide the marker from every
    // later scan.
    if (newMarker == std::string::npos || newMarker >= kHeaderScanLimit) {
        replyRefusal("error len");
        return;
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
