// The state document: every setting as a typed value, read through the
// same readers the status reports print from. It only reads.
#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "network/network.h"
#include "overlay/overlay.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"
#include "state/restart.h"
#include "state/state.h"

namespace state {
namespace {

using json = nlohmann::json;

// The settings files the device reads when it starts; a change to any of
// them waits for a restart.
const char* const kBootFiles[] = {
    "/mnt/autorun.sh",     "/mnt/mac.sh",          "/mnt/wifi/ifwifi",
    "/mnt/wifi/wpa.conf",  "/mnt/wifi/wifi_ip.conf", "/mnt/format.ini",
    "/mnt/mk120.ini",      "/mnt/qiehuan",         "/mnt/kovra_maxdelay.ini",
    "/mnt/kovra_encProfileIdc.ini", "/mnt/kovra_encQuality.ini", "/mnt/kovra_encLevel.ini",
    "/mnt/ttl.ini",        "/mnt/idr.ini",         "/mnt/color.ini",
    "/mnt/ts.ini",         "/mnt/httpts.ini",      "/mnt/tcp.ini",
    "/mnt/rtsp.ini",       "/mnt/rtsporrtmp.ini",  "/mnt/ha.ini",
    "/mnt/asound.state",   "/mnt/m.ini",           "/mnt/zk.ini",
    "/mnt/zhiti.ini",
};

// Files the document reads besides the start-up ones.
const char* const kOtherFiles[] = {
    "/mnt/autorun.sh.h264.aac.org", "/mnt/autorun.sh.h264.mp3.org", "/mnt/mk250.ini",
    "/mnt/kovra_rsc.ini", "/tmp/format.ini",
};
// A revision reads at most this much of a file; the readers read less.
constexpr std::size_t kRevisionReadBytes = 1 << 20;

// A 64-bit multiply-and-fold hash taken eight bytes at a time (the
// document's own cost is measured): a revision only has to tell two states
// apart, not to stand up to someone who can already write the files.
struct RevisionHash {
    std::uint64_t value = 0x6a09e667f3bcc908ULL;
    void mix(std::uint64_t word) {
        value = (value ^ word) * 0x9e3779b97f4a7c15ULL;
        value ^= value >> 32;
    }
    void add(const std::string& bytes) {
        std::size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            mix(word);
        }
        std::uint64_t rest = 0;
        std::memcpy(&rest, bytes.data() + i, bytes.size() - i);
        mix(rest);
        // Each part ends with its length, so that "ab"+"c" and "a"+"bc" differ.
        mix(bytes.size());
    }
};

const char* const kInputWords[] = {"vga", "dvi", "hdmi", "bnc", "ypbpr"};

class Reader {
public:
    json unreadable = json::array();

    // Notes a file that exists but holds nothing this program understands.
    void unparsable(const char* path) {
        for (const json& seen : unreadable)
            if (seen == path) return;
        unreadable.push_back(path);
    }

    template <class T>
    bool check(const platform::FileValue<T>& read, const char* path) {
        if (read.unparsable()) unparsable(path);
        return read.value.has_value();
    }
};

bool exists(const char* path) { return platform::modificationTime(path).has_value(); }

// A text value the settings program would accept, or null.
json acceptedText(const char* field, const std::string& value) {
    const settings::ValueRule* rule = settings::ruleForField(field);
    if (rule && settings::refusalFor(*rule, value)) return nullptr;
    return value;
}

// A number within its field's bounds or among its choices, or null.
json acceptedNumber(const char* field, long long value) {
    const settings::ValueRule* rule = settings::ruleForField(field);
    if (!rule) return value;
    if (rule->check == settings::ValueCheck::Choices) {
        for (std::size_t i = 0; i < rule->choiceCount; ++i)
            if (rule->choices[i] == value) return value;
        return nullptr;
    }
    if (rule->check == settings::ValueCheck::Range &&
        (value < rule->minimum || value > settings::largestAccepted(*rule)))
        return nullptr;
    return value;
}

// A flag file's value: missing gives fallback, a first byte of the table
// its word, anything else (an empty file too) null and the file noted.
json flag(Reader& reader, const platform::FileValue<char>& read, const char* path, json fallback,
          std::initializer_list<std::pair<char, json>> values) {
    if (!read.exists) return fallback;
    if (read.value)
        for (const auto& [byte, value] : values)
            if (*read.value == byte) return value;
    reader.unparsable(path);
    return nullptr;
}

// Fills the header's settings in; the script's text, for the template check.
// A key whose line the settings program cannot read back is null.
std::optional<std::string> headerSettings(Reader& reader, bool secrets, json& network, json& outputs,
                                          json& encoder, json& audio) {
    settings::record() = settings::SettingsRecord{};
    std::optional<std::string> script = platform::readFile("/mnt/autorun.sh");
    const bool have = script.has_value();
    if (!have && exists("/mnt/autorun.sh")) reader.unparsable("/mnt/autorun.sh");
    std::vector<std::string> unreadable;
    if (have) unreadable = settings::readBootHeader(*script).unreadable;
    const settings::SettingsRecord& r = settings::record();
    // The header's value, unless it is missing or its line cannot be read.
    const auto known = [&](const char* key, json value) -> json {
        if (!have) return nullptr;
        if (value.is_null() ||
            std::find(unreadable.begin(), unreadable.end(), key) != unreadable.end()) {
            reader.unparsable("/mnt/autorun.sh");
            return nullptr;
        }
        return value;
    };
    const auto text = [&](const char* key, const char* field, const std::string& v) {
        return known(key, acceptedText(field, v));
    };
    const auto number = [&](const char* key, const char* field, int v) {
        return known(key, acceptedNumber(field, v));
    };
    const auto twoWay = [&](const char* key, int v, int on, int off) {
        return known(key, v == on ? json(true) : v == off ? json(false) : json(nullptr));
    };
    network["ip"] = text("ip", "ip", r.ip);
    network["netmask"] = text("netmask", "netmask", r.netmask);
    network["gateway"] = text("gateway", "gateway", r.gateway);
    outputs["ts_address"] = text("tz", "tz", r.tz);
    outputs["ts_port"] = number("tc", "tc", r.tc);
    const json url = text("url", "rtmpurl", r.url);
    const settings::RtmpUrl rtmp = settings::splitRtmpUrl(r.url);
    outputs["rtmp_url"] = url.is_null() ? url : json(rtmp.address);
    outputs["rtmp_key_set"] = url.is_null() ? url : json(!rtmp.key.empty());
    if (secrets) outputs["rtmp_key"] = url.is_null() ? url : json(rtmp.key);
    encoder["bitrate"] = number("bitrate", "bitrate", r.bitrate);
    encoder["framerate"] = number("framerate", "framerate", r.framerate);
    encoder["iframe_interval"] = number("fi", "fi", r.fi);
    encoder["scaling"] = twoWay("ctrlcodec", r.ctrlcodec, 1, 2);
    encoder["width"] = number("width", "vs_width", r.width);
    encoder["height"] = number("height", "vs_height", r.height);
    audio["enabled"] = twoWay("ctrlencode", r.ctrlencode, 1, 2);
    audio["sample_rate"] = number("audiosample", "audiosample", r.audiosample);
    audio["bitrate"] = number("audiobps", "audiobitrate", r.audiobps);
    return script;
}

json wifiSettings(Reader& reader, bool secrets) {
    json wifi = json::object();
    // A missing flag: the network start-up has nothing to switch on. Any
    // first byte but "1" means on.
    platform::FileValue<char> enabled = network::readWifiFlag();
    wifi["enabled"] = !enabled.exists ? json(false)
                      : reader.check(enabled, "/mnt/wifi/ifwifi") ? json(*enabled.value != '1')
                                                                   : json(nullptr);
    platform::FileValue<network::WifiNetwork> block = network::readNetworkBlock();
    wifi["ssid"] = nullptr;
    wifi["passphrase_set"] = false;
    if (secrets) wifi["passphrase"] = nullptr;
    if (block.value) {
        const network::WifiNetwork& n = *block.value;
        // A block that cannot be read whole holds values this program has not seen.
        if (!n.blockReadable || !n.ssidReadable || (n.pskLine && !n.pskReadable))
            reader.unparsable("/mnt/wifi/wpa.conf");
        if (n.blockReadable && n.ssidReadable) wifi["ssid"] = network::unquoted(*n.ssid);
        wifi["passphrase_set"] = n.blockReadable ? json(n.pskLine) : json(nullptr);
        if (secrets && n.blockReadable && n.pskReadable) wifi["passphrase"] = network::unquoted(*n.psk);
    }
    platform::FileValue<std::string> address = network::readWifiAddress();
    wifi["address"] = reader.check(address, "/mnt/wifi/wifi_ip.conf")
                          ? acceptedText("wifi_ip", *address.value)
                          : json(nullptr);
    return wifi;
}

void outputSwitches(Reader& reader, const network::OutputFiles& files, json& outputs) {
    json ts = flag(reader, files.ts, "/mnt/ts.ini", "on", {{'0', "on"}, {'1', "off"}});
    if (ts == "on")
        ts = flag(reader, files.httpts, "/mnt/httpts.ini", "udp", {{'0', "udp"}, {'1', "http"}});
    outputs["transport_stream"] = std::move(ts);
    outputs["stream_tag"] = flag(reader, files.tcp, "/mnt/tcp.ini", false, {{'0', false}, {'1', true}});
    json rtsp = flag(reader, files.rtsp, "/mnt/rtsp.ini", "off", {{'0', "off"}, {'1', "on"}});
    if (rtsp == "on")
        rtsp = flag(reader, files.rtsporrtmp, "/mnt/rtsporrtmp.ini", "off", {{'0', "rtsp"}, {'1', "rtmp"}});
    outputs["rtsp_rtmp"] = std::move(rtsp);
}

void encoderFiles(Reader& reader, json& encoder) {
    const capture::EncoderFiles files = capture::readEncoderFiles();
    const auto ranged = [&](const platform::FileValue<int>& read, const char* path,
                            const char* field, int missing) -> json {
        if (!read.exists) return missing;
        json value = read.value ? acceptedNumber(field, *read.value) : json(nullptr);
        if (value.is_null()) reader.unparsable(path);
        return value;
    };
    encoder["idr_interval"] = ranged(capture::readIdrFile(), "/mnt/idr.ini", "idr", 100);
    encoder["ttl"] = ranged(capture::readTtlFile(), "/mnt/ttl.ini", "ttl", 100);
    encoder["profile"] = flag(reader, files.profile, "/mnt/kovra_encProfileIdc.ini", "high",
                              {{'0', "high"}, {'1', "main"}, {'2', "baseline"}});
    encoder["mode"] = flag(reader, files.quality, "/mnt/kovra_encQuality.ini", "quality",
                           {{'0', "quality"}, {'1', "speed"}});
    encoder["level"] = nullptr;
    if (files.level.value) {
        // The encoder reads 0 as level 4.0.
        const int code = *files.level.value == 0 ? 40 : *files.level.value;
        for (int offered : capture::levelMenuCodes())
            if (offered == code) encoder["level"] = code;
        if (encoder["level"].is_null()) reader.unparsable("/mnt/kovra_encLevel.ini");
    }
    encoder["max_delay"] = ranged(files.maxDelay, "/mnt/kovra_maxdelay.ini", "cvbr", 1);
}

json inputWord(Reader& reader, const capture::CaptureFiles& files) {
    if (!files.inputType.exists) return nullptr;
    if (files.inputType.value && *files.inputType.value >= 0 && *files.inputType.value <= 4)
        return kInputWords[*files.inputType.value];
    reader.unparsable("/mnt/mk120.ini");
    return nullptr;
}

json captureSettings(Reader& reader, const capture::CaptureFiles& files) {
    json c = json::object();
    if (!files.format.exists) {
        // What the capture commands write for a missing file.
        c["mode"] = "detect";
        c["format"] = 9;
    } else if (files.format.value) {
        c["mode"] = files.format.value->first == 1 ? "fixed" : "detect";
        c["format"] = capture::formatName(files.format.value->second) ? json(files.format.value->second)
                                                                       : json(nullptr);
        if (c["format"].is_null()) reader.unparsable("/mnt/format.ini");
    } else {
        reader.unparsable("/mnt/format.ini");
        c["mode"] = nullptr;
        c["format"] = nullptr;
    }
    c["input"] = inputWord(reader, files);
    if (!files.policy.exists)
        c["autodetect"] = "sdk";
    else if (reader.check(files.policy, "/mnt/qiehuan"))
        c["autodetect"] = *files.policy.value == 1 ? "reboot" : "sdk";
    else
        c["autodetect"] = nullptr;
    return c;
}

void audioFiles(Reader& reader, json& audio) {
    platform::FileValue<char> input = overlay::readAudioInputFile();
    audio["input"] = nullptr;
    if (reader.check(input, "/mnt/ha.ini")) audio["input"] = *input.value == '1' ? "digital" : "analog";
    platform::FileValue<int> volume = overlay::readVolume("/mnt/asound.state");
    audio["volume"] = nullptr;
    if (reader.check(volume, "/mnt/asound.state")) {
        audio["volume"] = acceptedNumber("volume", *volume.value);
        if (audio["volume"].is_null()) reader.unparsable("/mnt/asound.state");
    }
}

json pictureSettings(Reader& reader) {
    platform::FileValue<capture::ColourFile> file = capture::readColourValues();
    const bool known = !file.exists || (file.value && file.value->found > 0);
    if (!known) reader.unparsable("/mnt/color.ini");
    const capture::ColourValues v = file.value ? file.value->values : capture::ColourValues{};
    json picture = json::object();
    const std::pair<const char*, int> values[] = {{"lr", v.lr}, {"lg", v.lg}, {"lb", v.lb},
                                                  {"br", v.br}, {"bg", v.bg}, {"bb", v.bb}};
    for (const auto& [key, value] : values) {
        picture[key] = known ? acceptedNumber(key, value) : json(nullptr);
        if (known && picture[key].is_null()) reader.unparsable("/mnt/color.ini");
    }
    return picture;
}

json overlaySettings(Reader& reader) {
    overlay::IntFields v{};
    int found = 0;
    const overlay::FileStatus status =
        overlay::readIntFields(overlay::kWindowFile, overlay::kWindowFields, v, &found);
    const bool known = status == overlay::FileStatus::Ok && found == overlay::kWindowFields;
    if (status == overlay::FileStatus::OutOfLayout ||
        (status == overlay::FileStatus::Ok && !known) ||
        (status == overlay::FileStatus::CannotOpen && exists(overlay::kWindowFile)))
        reader.unparsable(overlay::kWindowFile);
    json overlays = json::object();
    const char* const names[] = {"mg", "gx"};
    for (int w = 0; w < 2; ++w) {
        const int at = 5 * w;
        json& window = overlays[names[w]];
        window["enabled"] = known ? json(v[at] != 0) : json(nullptr);
        const char* const fields[] = {"x", "y", "width", "height"};
        const char* const formFields[] = {"_x", "_y", "_w", "_h"};
        for (int f = 0; f < 4; ++f) {
            const std::string field = names[w] + std::string(formFields[f]);
            window[fields[f]] = known ? acceptedNumber(field.c_str(), v[at + 1 + f]) : json(nullptr);
            if (known && window[fields[f]].is_null()) reader.unparsable(overlay::kWindowFile);
        }
    }
    return overlays;
}

json subtitleSettings(Reader& reader) {
    std::optional<overlay::SubtitleLine> line = overlay::readSubtitleFile();
    json subtitle = {{"enabled", nullptr}, {"font", overlay::smallFont() ? "small" : "big"},
                     {"x", nullptr}, {"y", nullptr}, {"text", nullptr}};
    if (!line) {
        if (exists("/mnt/zk.ini")) reader.unparsable("/mnt/zk.ini");
        return subtitle;
    }
    if (!line->whole) {
        reader.unparsable("/mnt/zk.ini");
        return subtitle;
    }
    subtitle["enabled"] = line->enable != 0;
    subtitle["x"] = acceptedNumber("s_x", line->x);
    subtitle["y"] = acceptedNumber("s_y", line->y);
    // Only a text the subtitle command could have stored: every other
    // character came through the GB2312 table, but a hand-written widened
    // byte may read back as a control character.
    const std::optional<std::string> text = overlay::typedSubtitleText(line->text);
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    if (text && std::none_of(text->begin(), text->end(), control)) subtitle["text"] = *text;
    if (!text || subtitle["text"].is_null() || subtitle["x"].is_null() || subtitle["y"].is_null())
        reader.unparsable("/mnt/zk.ini");
    return subtitle;
}

json deviceFacts(Reader& reader, const capture::CaptureFiles& files,
                 const network::OutputFiles& outputs, const json& input) {
    json device = json::object();
    device["model"] = platform::modelFlag() ? "sdi" : "hdmi";
    device["input"] = input;
    device["detected_format"] = nullptr;
    if (reader.check(files.detected, "/tmp/format.ini"))
        device["detected_format"] = {{"width", files.detected.value->first},
                                     {"height", files.detected.value->second}};
    json selection = {{"transport_stream", "main"}, {"rtsp_rtmp", "main"}};
    if (outputs.selection.value && outputs.selection.value->found == 2) {
        selection["transport_stream"] = outputs.selection.value->transportStream ? "second" : "main";
        selection["rtsp_rtmp"] = outputs.selection.value->rtspRtmp ? "second" : "main";
    } else if (outputs.selection.exists) {
        reader.unparsable("/mnt/kovra_rsc.ini");
        selection = nullptr;
    }
    device["stream_selection"] = selection;
    return device;
}

// The template whose tail, from its header end, is the script's tail.
json codecTemplate(const std::optional<std::string>& script) {
    if (!script) return nullptr;
    const std::optional<std::size_t> end = settings::headerEnd(*script);
    if (!end) return nullptr;
    const std::string tail = script->substr(*end);
    json found = nullptr;
    const std::pair<const char*, const char*> templates[] = {
        {"aac", "/mnt/autorun.sh.h264.aac.org"}, {"mp3", "/mnt/autorun.sh.h264.mp3.org"}};
    for (const auto& [name, path] : templates) {
        std::optional<std::string> candidate = platform::readFile(path);
        if (!candidate) continue;
        const std::optional<std::size_t> at = settings::headerEnd(*candidate);
        if (!at || candidate->substr(*at) != tail) continue;
        if (!found.is_null()) return nullptr;  // both alike: cannot tell
        found = name;
    }
    return found;
}

// Without a record of the start: a change made in this boot (by either
// program) waits for the next; where the kernel gives no boot identity,
// a start-up file changed after the boot time does.
bool rebootPending() {
    const std::string id = platform::bootId();
    if (!id.empty()) return platform::readFile(platform::kChangedInBootPath, platform::kValueFileMaxBytes) == id + "\n";
    const std::optional<long long> boot = platform::bootTime();
    if (!boot) return false;
    for (const char* path : kBootFiles) {
        const std::optional<long long> changed = platform::modificationTime(path);
        if (changed && *changed > *boot) return true;
    }
    return false;
}

}  // namespace

std::vector<std::string> settingsFiles() {
    return std::vector<std::string>(std::begin(kBootFiles), std::end(kBootFiles));
}

std::string revision() {
    RevisionHash hash;
    const auto addFile = [&](const char* path, bool startUp) {
        hash.add(path);
        const std::optional<std::string> text = platform::readFile(path, kRevisionReadBytes);
        const std::optional<long long> changed = platform::modificationTime(path);
        hash.add(text ? "file" : changed ? "unreadable" : "missing");
        if (text) hash.add(*text);
        if (startUp && changed) hash.add(std::to_string(*changed));
    };
    for (const char* path : kBootFiles) addFile(path, true);
    for (const char* path : kOtherFiles) addFile(path, false);
    const std::optional<long long> boot = platform::bootTime();
    hash.add(boot ? std::to_string(*boot) : "no boot time");
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash.value));
    return hex;
}

json document(bool secrets) {
    // Read with the secrets either way: what waits for a restart includes
    // a new pass phrase.
    const bool withSecrets = secrets;
    secrets = true;
    Reader reader;
    json network = json::object(), outputs = json::object(), encoder = json::object(),
         audio = json::object();
    const std::optional<std::string> script = headerSettings(reader, secrets, network, outputs, encoder, audio);
    platform::FileValue<std::string> mac = network::readMacScript();
    network["mac"] = reader.check(mac, "/mnt/mac.sh") ? acceptedText("mac", *mac.value) : json(nullptr);
    if (mac.value && network["mac"].is_null()) reader.unparsable("/mnt/mac.sh");
    const network::OutputFiles outputFiles = network::readOutputFiles();
    outputSwitches(reader, outputFiles, outputs);
    encoderFiles(reader, encoder);
    const capture::CaptureFiles captureFiles = capture::readCaptureFiles();
    audioFiles(reader, audio);

    json settingsPart = json::object();
    settingsPart["network"] = std::move(network);
    settingsPart["wifi"] = wifiSettings(reader, secrets);
    settingsPart["outputs"] = std::move(outputs);
    settingsPart["encoder"] = std::move(encoder);
    settingsPart["capture"] = captureSettings(reader, captureFiles);
    settingsPart["audio"] = std::move(audio);
    settingsPart["picture"] = pictureSettings(reader);
    settingsPart["overlays"] = overlaySettings(reader);
    settingsPart["subtitle"] = subtitleSettings(reader);

    json doc = json::object();
    doc["schema"] = kDocumentVersion;
    doc["settings"] = std::move(settingsPart);
    const json input = doc["settings"]["capture"]["input"];
    doc["device"] = deviceFacts(reader, captureFiles, outputFiles, input);
    doc["codec_template"] = codecTemplate(script);
    doc["reboot_pending"] = rebootPending();
    describeRestart(doc["settings"], doc["codec_template"], doc);
    doc["unreadable"] = std::move(reader.unreadable);
    if (!withSecrets) {
        doc["settings"]["wifi"].erase("passphrase");
        doc["settings"]["outputs"].erase("rtmp_key");
    }
    return doc;
}

}  // namespace state
