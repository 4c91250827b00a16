// The boot-script reader and rewrite. The first line is the pending change
// line (an empty line: a status query), the rest is /mnt/autorun.sh. Every
// other file of the status report is a realistic fixed one; the Wi-Fi is
// disabled and the colour file is a directory, so that only the script's
// own rewrite runs shell commands (the Wi-Fi and colour files have their
// own targets).
#include <cstdint>
#include <cstdio>
#include <string>

#include "settings/rules.h"
#include "settings/settings.h"
#include "support/fuzz_root.h"

namespace {

// The 16 header lines as the rewrite writes them.
std::string headerOf(const settings::SettingsRecord& r) {
    char head[1024];
    std::snprintf(head, sizeof head,
                  "ip=%s\nnetmask=%s\ngateway=%s\nexport GW=$gateway\ntz=%s\ntc=%d\nfi=%d\n"
                  "ctrlencode=%d\nctrlcodec=%d\nbitrate=%d\nframerate=%d\naudiosample=%d\n"
                  "audiobps=%d\nwidth=%d\nheight=%d\n",
                  r.ip.c_str(), r.netmask.c_str(), r.gateway.c_str(), r.tz.c_str(), r.tc, r.fi,
                  r.ctrlencode, r.ctrlcodec, r.bitrate, r.framerate, r.audiosample, r.audiobps,
                  r.width, r.height);
    return head + ("url=" + r.url + "\n");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    fuzzing::put("/mnt/wifi/ifwifi", "1\n");
    fuzzing::putDirectory("/mnt/color.ini");
    fuzzing::put("/mnt/ttl.ini", "64");
    fuzzing::put("/mnt/idr.ini", "50");
    fuzzing::put("/mnt/format.ini", "1 9");
    fuzzing::put("/mnt/mk120.ini", "2");
    fuzzing::put("/mnt/qiehuan", "0\n");
    fuzzing::put("/tmp/format.ini", "1920 1080\n");
    fuzzing::put("/mnt/kovra_maxdelay.ini", "5\n");
    fuzzing::put("/mnt/kovra_encProfileIdc.ini", "1\n");
    fuzzing::put("/mnt/kovra_encQuality.ini", "0\n");
    fuzzing::put("/mnt/kovra_encLevel.ini", "40\n");
    fuzzing::put("/mnt/ts.ini", "0\n");
    fuzzing::put("/mnt/httpts.ini", "1\n");
    fuzzing::put("/mnt/kovra_rsc.ini", "0 1\n");
    fuzzing::put("/mnt/tcp.ini", "1\n");
    fuzzing::put("/mnt/rtsp.ini", "1\n");
    fuzzing::put("/mnt/rtsporrtmp.ini", "1\n");
    fuzzing::put("/mnt/ha.ini", "1\n");
    fuzzing::put("/mnt/asound.state", "");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string script = fuzzing::text(data, size);
    std::string line = fuzzing::takeLine(script);
    if (!line.empty()) line += '\n';

    fuzzing::startRequest();
    fuzzing::put("/mnt/autorun.sh", script);
    fuzzing::remove("/mnt/autorun.sh.swp");
    settings::setPendingLine(line);
    const bool query = settings::pendingLine().empty();
    fuzzing::startOutput();
    settings::rewriteBootScript();

    const std::optional<std::string> now = fuzzing::get("/mnt/autorun.sh");
    const bool written = settings::pendingLine() == "ok";
    FUZZ_CHECK(now.has_value());
    if (query || !written) {
        FUZZ_CHECK(*now == script);
        FUZZ_CHECK(query ? !fuzzing::get("/mnt/autorun.sh.swp")
                         : settings::pendingLine() == line);
        return 0;
    }
    // A written script: the old one backed up, the 16 header lines of the
    // record and then the old tail, whole, from the old end marker on; and
    // the next scan finds the marker right after the header.
    FUZZ_CHECK(fuzzing::get("/mnt/autorun.sh.swp") == script);
    const std::size_t oldMarker = script.find("end");
    FUZZ_CHECK(oldMarker != std::string::npos && oldMarker < 300);
    const std::string header = headerOf(settings::record());
    FUZZ_CHECK(*now == header + script.substr(oldMarker));
    FUZZ_CHECK(now->find("end") == header.size());
    FUZZ_CHECK(now->size() >= 300 && header.size() < 300);
    // Only a header read back whole is rewritten, and what is written reads
    // back whole when the change line holds values its keys take.
    FUZZ_CHECK(settings::readBootHeader(script).unreadable.empty());
    bool lineTaken = true;
    for (const settings::ScannedItem& item : settings::scanSettingsText(line, line.size()).items)
        lineTaken = lineTaken && !settings::refusalFor(*item.rule, item.value);
    if (lineTaken) FUZZ_CHECK(settings::readBootHeader(*now).unreadable.empty());
    return 0;
}
