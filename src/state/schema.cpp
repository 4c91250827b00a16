// The schema of the settings: one row per setting, naming the form that
// changes it; types, bounds and characters come from the value rules, the
// same ones the settings program refuses input by.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "dispatch/dispatch.h"
#include "platform/fields.h"
#include "overlay/overlay.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"
#include "state/change_set.h"
#include "state/settings_table.h"
#include "state/state.h"

namespace state {
namespace {

using json = nlohmann::json;

const char* const kIpv4Pattern =
    "^(25[0-5]|2[0-4][0-9]|1[0-9]{2}|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9]{2}|[1-9]?[0-9])){3}$";
// "255.255.255.255".
constexpr std::size_t kIpv4Longest = 15;
// Neither a group address (the lowest bit of the first byte) nor all zeros.
const char* const kMacPattern =
    "^(?!00:00:00:00:00:00$)[0-9A-Fa-f][02468ACEace](:[0-9A-Fa-f]{2}){5}$";

std::vector<Choice> numberChoices(const std::vector<int>& codes) {
    std::vector<Choice> choices;
    for (int code : codes) choices.push_back({json(code), std::to_string(code)});
    return choices;
}

std::vector<Setting> buildSettings() {
    const auto yesNo = [](const char* trueWord, const char* falseWord) {
        return std::vector<Choice>{{json(true), trueWord}, {json(false), falseWord}};
    };
    const auto words = [](std::initializer_list<std::pair<const char*, const char*>> list) {
        std::vector<Choice> choices;
        for (const auto& [value, word] : list) choices.push_back({json(value), word});
        return choices;
    };
    const auto text = [](const char* section, const char* name, const char* submit,
                         const char* field, Kind kind = Kind::String) {
        return Setting{section, nullptr, name, kind, submit, nullptr, nullptr, field, {}, Access::ReadWrite};
    };
    const auto number = [](const char* section, const char* group, const char* name,
                           const char* submit, const char* field) {
        return Setting{section, group, name, Kind::Integer, submit, nullptr, nullptr, field, {}, Access::ReadWrite};
    };
    const auto radio = [](const char* section, const char* group, const char* name, Kind kind,
                          const char* submit, const char* group_, std::vector<Choice> choices) {
        return Setting{section, group, name, kind, submit, group_, nullptr, nullptr, std::move(choices),
                       Access::ReadWrite};
    };
    std::vector<Setting> s = {
        text("network", "ip", "name1_submit", "ip"),
        text("network", "netmask", "name2_submit", "netmask"),
        text("network", "gateway", "name45_submit", "gateway"),
        text("network", "mac", "mac_submit", "mac"),

        radio("wifi", nullptr, "enabled", Kind::Boolean, "codec_submit", "ifwifi", yesNo("male", "female")),
        text("wifi", "ssid", "ssid_submit", "ssid"),
        Setting{"wifi", nullptr, "passphrase_set", Kind::Boolean, nullptr, nullptr, nullptr, nullptr, {},
                Access::ReadOnly},
        Setting{"wifi", nullptr, "passphrase", Kind::String, "passkey_submit", nullptr, nullptr, "passkey",
                {}, Access::WriteOnly},
        text("wifi", "address", "wifi_ip_submit", "wifi_ip"),

        radio("outputs", nullptr, "transport_stream", Kind::String, "codec_submit", "ctrlaz",
              words({{"udp", "male"}, {"off", "female"}, {"http", "amale"}})),
        radio("outputs", nullptr, "stream_tag", Kind::Boolean, "codec_submit", "ctrldz",
              yesNo("female", "male")),
        radio("outputs", nullptr, "rtsp_rtmp", Kind::String, "codec_submit", "ctrlez",
              words({{"off", "male"}, {"rtsp", "female"}, {"rtmp", "amale"}})),
        text("outputs", "ts_address", "namez_submit", "tz"),
        number("outputs", nullptr, "ts_port", "namec_submit", "tc"),
        // The stream key is a secret: the address up to the application
        // name, and the key, which is only written and read with the secrets.
        Setting{"outputs", nullptr, "rtmp_url", Kind::String, "rtmpurl_submit", nullptr, nullptr, "rtmpurl",
                {}, Access::ReadWrite, "address"},
        Setting{"outputs", nullptr, "rtmp_key_set", Kind::Boolean, nullptr, nullptr, nullptr, nullptr, {},
                Access::ReadOnly},
        Setting{"outputs", nullptr, "rtmp_key", Kind::String, "rtmpurl_submit", nullptr, nullptr, "rtmpurl",
                {}, Access::WriteOnly, "key"},

        number("encoder", nullptr, "bitrate", "name3_submit", "bitrate"),
        number("encoder", nullptr, "framerate", "name4_submit", "framerate"),
        number("encoder", nullptr, "iframe_interval", "namei_submit", "fi"),
        number("encoder", nullptr, "idr_interval", "nameidr_submit", "idr"),
        radio("encoder", nullptr, "profile", Kind::String, "codec_submit", "ctrlbz",
              words({{"high", "male"}, {"main", "female"}, {"baseline", "amale"}})),
        radio("encoder", nullptr, "mode", Kind::String, "codec_submit", "ctrlcz",
              words({{"quality", "male"}, {"speed", "female"}})),
        Setting{"encoder", nullptr, "level", Kind::Integer, "encst_submit", nullptr, "menu_encst", nullptr,
                numberChoices(capture::levelMenuCodes()), Access::ReadWrite},
        number("encoder", nullptr, "max_delay", "cvbr_submit", "cvbr"),
        number("encoder", nullptr, "ttl", "ttl_submit", "ttl"),
        radio("encoder", nullptr, "scaling", Kind::Boolean, "codec_submit", "selvs", yesNo("male", "female")),
        number("encoder", nullptr, "width", "vs_width_submit", "vs_width"),
        number("encoder", nullptr, "height", "vs_height_submit", "vs_height"),

        radio("capture", nullptr, "mode", Kind::String, "codec_submit", "ctrlau",
              words({{"detect", "male"}, {"fixed", "female"}})),
        Setting{"capture", nullptr, "format", Kind::Integer, "name29_submit", nullptr, "menu_set_vga_mode",
                nullptr, numberChoices(capture::formatMenuCodes()), Access::ReadWrite},
        Setting{"capture", nullptr, "input", Kind::String, "name129_submit", nullptr, "menu_set_signal_mode",
                nullptr, words({{"vga", "0"}, {"dvi", "1"}, {"hdmi", "2"}, {"bnc", "3"}, {"ypbpr", "4"}}),
                Access::ReadWrite},
        radio("capture", nullptr, "autodetect", Kind::String, "codec_submit", "ctrlax",
              words({{"reboot", "male"}, {"sdk", "female"}})),

        radio("audio", nullptr, "enabled", Kind::Boolean, "codec_submit", "audioen", yesNo("female", "male")),
        radio("audio", nullptr, "input", Kind::String, "codec_submit", "audioin",
              words({{"analog", "male"}, {"digital", "female"}})),
        number("audio", nullptr, "sample_rate", "name_audio_submit", "audiosample"),
        number("audio", nullptr, "bitrate", "name_audio2_submit", "audiobitrate"),
        number("audio", nullptr, "volume", "name_volume_submit", "volume"),
    };
    const char* const colours[][2] = {{"lr", "namelr_submit"}, {"lg", "namelg_submit"},
                                      {"lb", "namelb_submit"}, {"br", "namebr_submit"},
                                      {"bg", "namebg_submit"}, {"bb", "namebb_submit"}};
    for (const auto& colour : colours) s.push_back(number("picture", nullptr, colour[0], colour[1], colour[0]));
    // Window, switch submit and group, pair submits, then the four fields.
    const char* const windows[][9] = {
        {"mg", "mg_a_submit", "mg_a", "mg_xy", "mg_wh", "mg_x", "mg_y", "mg_w", "mg_h"},
        {"gx", "gx_a_submit", "gx_a", "gx_xy", "gx_wh", "gx_x", "gx_y", "gx_w", "gx_h"},
    };
    for (const auto& w : windows) {
        s.push_back(radio("overlays", w[0], "enabled", Kind::Boolean, w[1], w[2], yesNo("female", "male")));
        s.push_back(number("overlays", w[0], "x", w[3], w[5]));
        s.push_back(number("overlays", w[0], "y", w[3], w[6]));
        s.push_back(number("overlays", w[0], "width", w[4], w[7]));
        s.push_back(number("overlays", w[0], "height", w[4], w[8]));
    }
    s.push_back(radio("subtitle", nullptr, "enabled", Kind::Boolean, "sub_a_submit", "sub_a", yesNo("female", "male")));
    s.push_back(radio("subtitle", nullptr, "font", Kind::String, "sub_z_submit", "sub_z",
                      words({{"big", "female"}, {"small", "male"}})));
    s.push_back(number("subtitle", nullptr, "x", "s_x_submit", "s_x"));
    s.push_back(number("subtitle", nullptr, "y", "s_y_submit", "s_y"));
    s.push_back(text("subtitle", "text", "sub_submit", "sub_text"));
    return s;
}

// A byte as it stands in a character class of a pattern: control bytes
// and the class's own syntax escaped, nothing else (a pattern is read with
// the Unicode flag, which refuses needless escapes).
std::string classMember(unsigned char c) {
    if (c < 0x20 || c == 0x7f) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        return hex;
    }
    if (c == ']' || c == '\\' || c == '^' || c == '-') return std::string("\\") + static_cast<char>(c);
    return std::string(1, static_cast<char>(c));
}

// Any character but these bytes, and never a line end or a zero byte,
// which a form field cannot carry.
std::string classExcluding(const char* bytes) {
    std::string cls = "[^\\r\\n\\x00";
    for (const char* b = bytes; *b; ++b) cls += classMember(static_cast<unsigned char>(*b));
    return cls + "]";
}

// Code points as a character class body of ranges, in UTF-8.
std::string classOfPoints(std::vector<std::uint32_t> points) {
    std::sort(points.begin(), points.end());
    std::string body;
    const auto utf8 = [](std::uint32_t point) {
        if (point < 0x80) return classMember(static_cast<unsigned char>(point));
        std::string out;
        overlay::appendUtf8(point, out);
        return out;
    };
    for (std::size_t i = 0; i < points.size();) {
        std::size_t j = i;
        while (j + 1 < points.size() && points[j + 1] == points[j] + 1) ++j;
        body += utf8(points[i]);
        if (j > i) body += (j > i + 1 ? "-" : "") + utf8(points[j]);
        i = j + 1;
    }
    return body;
}

// The characters the subtitle holds: printable ASCII and every character
// of the GB2312 table.
std::string subtitlePattern() {
    std::vector<std::uint32_t> points;
    for (std::uint32_t c = 0x20; c <= 0x7E; ++c) points.push_back(c);
    for (const auto& row : overlay::kGb2312CodePoints)
        for (std::uint16_t point : row)
            if (point) points.push_back(point);
    return "^[" + classOfPoints(points) + "]*$";
}

// Every mask whose one-bits come first.
std::string netmaskPattern() {
    std::string alternatives;
    for (int ones = 0; ones <= 32; ++ones) {
        const unsigned long mask = ones == 0 ? 0 : (0xffffffffUL << (32 - ones)) & 0xffffffffUL;
        char text[24];
        std::snprintf(text, sizeof text, "%lu\\.%lu\\.%lu\\.%lu", mask >> 24, (mask >> 16) & 255,
                      (mask >> 8) & 255, mask & 255);
        alternatives += (ones ? "|" : "") + std::string(text);
    }
    return "^(" + alternatives + ")$";
}

// A raw key, or a pass phrase of printable ASCII that the field takes.
std::string passPhrasePattern(const settings::ValueRule& rule) {
    std::vector<std::uint32_t> printable;
    const char* refused = settings::refusedBytes(rule.characters);
    for (std::uint32_t c = 0x20; c <= 0x7E; ++c)
        if (!refused || !std::strchr(refused, static_cast<int>(c))) printable.push_back(c);
    return "^([0-9A-Fa-f]{64}|[" + classOfPoints(printable) + "]{8,63})$";
}

// Characters a value may hold, as a pattern over the whole value.
std::string characterPattern(const settings::ValueRule& rule) {
    if (rule.characters == settings::Characters::Subtitle) return subtitlePattern();
    const char* refused = settings::refusedBytes(rule.characters);
    if (!refused) return "";
    const std::string body = classExcluding(refused) + "*";
    if (rule.refusedWord) return "^(?!.*" + std::string(rule.refusedWord) + ")" + body + "$";
    return "^" + body + "$";
}

json typeOf(Kind kind) {
    const char* name = kind == Kind::Integer ? "integer" : kind == Kind::Boolean ? "boolean" : "string";
    // null: the device holds no value that can be read (a missing or
    // unparsable file); never a value to set.
    return json::array({name, "null"});
}

// The boot script as the schema reads it once: its header, and the RTMP
// address it holds.
struct HeaderNow {
    std::optional<settings::BootHeader> header;
    std::string url;
};

const HeaderNow& headerNow() {
    static const HeaderNow now = [] {
        HeaderNow read;
        settings::record() = settings::SettingsRecord{};
        if (std::optional<std::string> script = platform::readFile("/mnt/autorun.sh")) {
            read.header = settings::readBootHeader(*script);
            read.url = settings::record().url;
        }
        return read;
    }();
    return now;
}

// Where the boot-script header holds a setting, how long its value may be
// now: the header must still end within the characters a scan examines.
// nullopt for other settings, and while the header cannot be changed at all
// (then the rule's own bound is what a client should keep to).
std::optional<std::size_t> roomNow(const settings::ValueRule& rule) {
    const std::optional<settings::BootHeader>& header = headerNow().header;
    if (!settings::isHeaderKey(rule) || !header || !header->end ||
        !header->unreadable.empty())
        return std::nullopt;
    return settings::headerRoom(rule);
}

// What an RTMP address must look like to come back whole from the joined
// value: a server and one application name, which may be left out only
// while no stream key follows it.
std::string addressShape() {
    const bool keyed = !settings::splitRtmpUrl(headerNow().url).key.empty();
    return std::string("([^/?]*://)?[^/?]+") + (keyed ? "/[^/?]+" : "(/[^/?]+)?") + "$";
}

// Bytes of a field's value that the other part of it takes: one part is
// stored joined with the other as the device holds it.
std::size_t otherPartBytes(const Setting& setting) {
    if (!setting.part) return 0;
    settings::RtmpUrl parts = settings::splitRtmpUrl(headerNow().url);
    if (std::string(setting.part) == "address") {
        parts.address.clear();
        return settings::joinRtmpUrl(parts).size();
    }
    return parts.address.size() + 1;
}

// Bounds, characters and choices of a value, from its row of the value
// rules. Lengths in bytes stand as x-minBytes and x-maxBytes beside the
// character counts, which never admit more than the device takes in ASCII.
void describeValue(const settings::ValueRule& rule, const Setting& setting, json& p) {
    const Kind kind = setting.kind;
    const std::string part = setting.part ? setting.part : "";
    const std::size_t taken = otherPartBytes(setting);
    const std::string shape = part == "address" ? addressShape() : "";
    const std::optional<std::size_t> room = roomNow(rule);
    switch (rule.check) {
        case settings::ValueCheck::Ipv4:
        case settings::ValueCheck::Netmask:
            p["pattern"] = rule.check == settings::ValueCheck::Ipv4 ? kIpv4Pattern : netmaskPattern();
            p["maxLength"] = std::min<std::size_t>(kIpv4Longest, room.value_or(kIpv4Longest));
            return;
        case settings::ValueCheck::UnicastMac:
            p["pattern"] = kMacPattern;
            return;
        case settings::ValueCheck::Choices: {
            json values = json::array();
            for (std::size_t i = 0; i < rule.choiceCount; ++i) values.push_back(rule.choices[i]);
            values.push_back(nullptr);
            p["enum"] = values;
            return;
        }
        case settings::ValueCheck::Range: {
            long long largest = settings::largestAccepted(rule);
            if (room) {
                long long digits = 1;
                for (std::size_t i = 0; i < *room && digits <= largest; ++i) digits *= 10;
                largest = std::min(largest, digits - 1);
            }
            p["minimum"] = rule.minimum;
            p["maximum"] = largest;
            return;
        }
        default:
            break;
    }
    if (kind != Kind::String) return;
    std::size_t maxBytes = rule.maxBytes;
    if (room) maxBytes = std::min(maxBytes, *room);
    maxBytes -= std::min(maxBytes, taken);
    // An empty stream key is an address without one.
    std::size_t minBytes = part == "key" ? 0 : std::max<std::size_t>(rule.minBytes, 1);
    if (rule.check == settings::ValueCheck::PassPhrase) {
        minBytes = 8;
        p["pattern"] = passPhrasePattern(rule);
    } else if (const std::string pattern = characterPattern(rule); !pattern.empty()) {
        p["pattern"] = shape.empty() ? pattern : "^(?=" + shape + ")" + pattern.substr(1);
    }
    p["minLength"] = minBytes;
    p["maxLength"] = rule.maxCharacters ? std::min(rule.maxCharacters, maxBytes) : maxBytes;
    p["x-minBytes"] = minBytes;
    p["x-maxBytes"] = maxBytes;
    // The stored subtitle cannot tell a typed "!" from a typed full-width one.
    if (rule.characters == settings::Characters::Subtitle) p["x-equivalent"] = "fullwidth-ascii";
}

json propertyOf(const Setting& setting) {
    json p = {{"type", typeOf(setting.kind)}};
    if (setting.access == Access::ReadOnly) p["readOnly"] = true;
    if (setting.access == Access::WriteOnly) p["writeOnly"] = true;
    if (!setting.choices.empty()) {
        json values = json::array();
        for (const Choice& c : setting.choices) values.push_back(c.value);
        values.push_back(nullptr);
        p["enum"] = values;
    }
    if (setting.field) {
        if (const settings::ValueRule* rule = settings::ruleForField(setting.field))
            describeValue(*rule, setting, p);
    }
    if (setting.submit) {
        json form = {{"order", commandOrder(setting.submit, setting.radio)},
                     {"submit", setting.submit}};
        if (setting.field) form["field"] = setting.field;
        if (setting.part) form["part"] = setting.part;
        if (setting.radio) form["radio"] = setting.radio;
        if (setting.menu) form["menu"] = setting.menu;
        if (!setting.choices.empty()) {
            json choices = json::object();
            for (const Choice& c : setting.choices)
                choices[c.value.is_string() ? c.value.get<std::string>() : c.value.dump()] = c.word;
            form["choices"] = choices;
        }
        p["x-form"] = form;
    }
    return p;
}

json objectSchema() {
    return {{"type", "object"}, {"additionalProperties", false}, {"properties", json::object()}};
}

}  // namespace

const std::vector<Setting>& settingsTable() {
    static const std::vector<Setting> table = buildSettings();
    return table;
}

json settingProperty(const Setting& setting) { return propertyOf(setting); }

json settingsSchema() {
    json schema = objectSchema();
    schema["$schema"] = "https://json-schema.org/draft/2020-12/schema";
    schema["title"] = "Settings of the video encoder";
    schema["x-version"] = kDocumentVersion;
    // The template is no member of the settings: a change set carries it
    // beside them, and swapping it resets them to the template's defaults.
    json templates = json::array(), words = json::object();
    for (const auto& t : kTemplates) templates.push_back(t[0]), words[t[0]] = t[1];
    schema["$defs"]["codec_template"] = {
        {"type", "string"},
        {"enum", templates},
        {"description", "The encoder's factory template: swapping it resets the settings it holds to their "
                        "defaults; settings in the same change set are applied after the swap."},
        {"x-form", {{"order", commandOrder("codec_submit", "ctrlts")}, {"submit", "codec_submit"},
                    {"radio", "ctrlts"}, {"choices", words}}}};
    for (const Setting& setting : settingsTable()) {
        json& sections = schema["properties"];
        if (!sections.contains(setting.section)) sections[setting.section] = objectSchema();
        json* owner = &sections[setting.section];
        if (setting.group) {
            if (!(*owner)["properties"].contains(setting.group))
                (*owner)["properties"][setting.group] = objectSchema();
            owner = &(*owner)["properties"][setting.group];
        }
        (*owner)["properties"][setting.name] = propertyOf(setting);
    }
    return schema;
}

}  // namespace state
