// The schema of the settings: one row per setting, naming the form that
// changes it; types, bounds and characters come from the value rules, the
// same ones the settings program refuses input by.
#include <string>
#include <vector>

#include "capture/capture.h"
#include "dispatch/dispatch.h"
#include "settings/rules.h"
#include "state/settings_table.h"
#include "state/state.h"

namespace state {
namespace {

using json = nlohmann::json;

const char* const kIpv4Pattern =
    "^(25[0-5]|2[0-4][0-9]|1[0-9]{2}|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9]{2}|[1-9]?[0-9])){3}$";
const char* const kMacPattern = "^[0-9A-Fa-f]{2}(:[0-9A-Fa-f]{2}){5}$";

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
        text("outputs", "rtmp_url", "rtmpurl_submit", "rtmpurl"),

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

// Characters a value may hold, as a pattern over the whole value.
std::string characterPattern(const settings::ValueRule& rule) {
    std::string body;
    switch (rule.characters) {
        case settings::Characters::NoQuoteOrEquals:
            body = "[^\"=]*";
            break;
        case settings::Characters::NoEquals:
            body = "[^=]*";
            break;
        case settings::Characters::NoShellOrEquals:
            body = "[^\\s;&|$`'\"\\\\<>()=]*";
            break;
        default:
            return "";
    }
    if (rule.refusedWord) return "^(?!.*" + std::string(rule.refusedWord) + ")" + body + "$";
    return "^" + body + "$";
}

json typeOf(Kind kind) {
    const char* name = kind == Kind::Integer ? "integer" : kind == Kind::Boolean ? "boolean" : "string";
    // null: the device holds no value that can be read (a missing or
    // unparsable file); never a value to set.
    return json::array({name, "null"});
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
        if (const settings::ValueRule* rule = settings::ruleForField(setting.field)) {
            if (rule->check == settings::ValueCheck::Ipv4) {
                p["pattern"] = kIpv4Pattern;
                p["maxLength"] = 15;
            } else if (rule->check == settings::ValueCheck::Range) {
                p["minimum"] = rule->minimum;
                p["maximum"] = settings::largestAccepted(*rule);
            } else if (setting.kind == Kind::String) {
                p["minLength"] = rule->minBytes ? rule->minBytes : 1;
                if (rule->maxCharacters)
                    p["maxLength"] = rule->maxCharacters;
                else if (rule->maxBytes)
                    p["maxLength"] = rule->maxBytes;
                const std::string pattern = characterPattern(*rule);
                if (!pattern.empty()) p["pattern"] = pattern;
            }
        }
        if (std::string(setting.field) == "mac") p["pattern"] = kMacPattern;
    }
    if (setting.submit) {
        json form = {{"order", commandOrder(setting.submit, setting.radio)},
                     {"submit", setting.submit}};
        if (setting.field) form["field"] = setting.field;
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

json settingsSchema() {
    json schema = objectSchema();
    schema["$schema"] = "https://json-schema.org/draft/2020-12/schema";
    schema["title"] = "Settings of the video encoder";
    schema["x-version"] = kDocumentVersion;
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
