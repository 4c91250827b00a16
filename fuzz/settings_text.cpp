// The key scanner on any text. The first line is a tag character and the
// limit; the rest is the text. The colour file is a directory here, so colour keys
// are parsed and applied but write nothing (the colour file has its own
// target).
#include <cstdint>
#include <string>

#include "settings/settings.h"
#include "support/fuzz_root.h"

namespace {

using settings::SettingsRecord;

bool same(const SettingsRecord& a, const SettingsRecord& b) {
    return a.url == b.url && a.ssid == b.ssid && a.psk == b.psk && a.wifiip == b.wifiip &&
           a.ip == b.ip && a.tz == b.tz && a.tc == b.tc && a.netmask == b.netmask &&
           a.gateway == b.gateway && a.ctrlencode == b.ctrlencode &&
           a.ctrlcodec == b.ctrlcodec && a.bitrate == b.bitrate &&
           a.framerate == b.framerate && a.fi == b.fi && a.headerLength == b.headerLength &&
           a.audiosample == b.audiosample && a.audiobps == b.audiobps && a.width == b.width &&
           a.height == b.height;
}

SettingsRecord scan(const std::string& text, std::size_t limit) {
    settings::record() = SettingsRecord{};
    settings::parseSettingsText(text, limit);
    return settings::record();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    fuzzing::putDirectory("/mnt/color.ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text = fuzzing::text(data, size);
    const std::string control = fuzzing::takeLine(text);
    // Up to 512 positions beyond the text, where only zero bytes are seen.
    const auto limit = static_cast<std::size_t>(fuzzing::number(
        control.substr(control.empty() ? 0 : 1), 0, static_cast<long>(text.size()) + 512,
        static_cast<long>(text.size())));

    fuzzing::startRequest();
    fuzzing::startOutput();
    const SettingsRecord bare = scan(text, limit);
    // Bytes beyond the text read as zero, whatever the limit.
    FUZZ_CHECK(same(bare, scan(text + std::string(512, '\0'), limit)));

    // No value is stored longer than its field holds.
    FUZZ_CHECK(bare.url.size() <= settings::kUrlMax);
    for (const std::string* s : {&bare.ssid, &bare.psk})
        FUZZ_CHECK(s->size() <= settings::kWifiNetworkValueMax);
    FUZZ_CHECK(bare.wifiip.size() <= settings::kWifiAddressMax);
    for (const std::string* s : {&bare.ip, &bare.tz, &bare.netmask, &bare.gateway})
        FUZZ_CHECK(s->size() <= settings::kAddressMax);

    return 0;
}
