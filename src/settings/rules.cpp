#include "settings/rules.h"

#include <climits>
#include <cstring>

#include "overlay/overlay.h"
#include "settings/settings.h"

namespace settings {
namespace {

using R = SettingsRecord;
constexpr long long kIntMax = INT_MAX;  // the largest value the device's programs read
constexpr std::size_t kWifiValueLongest = 65;  // a quoted 63-byte pass phrase, a raw 64-digit key
constexpr std::size_t kAddressLongest = 19;

// A row that only the scanner reads (no form field sets it directly).
ValueRule scanOnly(const char* key, const char* pattern, ScanKind kind, std::size_t longest,
                   std::string R::*text, int R::*number) {
    return {key, pattern, kind, longest, text, number, nullptr, 0, 0, Characters::Any, nullptr,
            ValueCheck::None, 0, 0, 0, RefusedBy::Reader};
}

ValueRule address(const char* key, const char* pattern, std::string R::*text, const char* field) {
    return {key, pattern, ScanKind::Text, kAddressLongest, text, nullptr, field, kAddressLongest, 0,
            Characters::DigitsAndDots, nullptr, ValueCheck::Ipv4, 0, 0, 0, RefusedBy::Reader};
}

ValueRule decimal(const char* key, const char* pattern, std::size_t longest, int R::*number,
                  const char* field, long long minimum = 0, long long maximum = kIntMax) {
    return {key, pattern, ScanKind::Decimal, longest, nullptr, number, field, longest, 0,
            Characters::Digits, nullptr, ValueCheck::Range, minimum, maximum, 0,
            RefusedBy::Reader};
}

ValueRule colour(const char* key, const char* pattern) {
    return {key, pattern, ScanKind::Colour, 4, nullptr, nullptr, key, 4, 0, Characters::NoEquals,
            nullptr, ValueCheck::Range, -999, 9999, 0, RefusedBy::Command};
}

ValueRule field(const char* key, std::size_t maxBytes, Characters characters,
                ValueCheck check = ValueCheck::None, long long minimum = 0,
                long long maximum = 0, RefusedBy by = RefusedBy::Reader) {
    return {key, nullptr, ScanKind::None, 0, nullptr, nullptr, key, maxBytes, 0, characters,
            nullptr, check, minimum, maximum, 0, by};
}

const ValueRule kRules[] = {
    // The scanner's tests, in the order they are made at each position.
    decimal("width", "dth=", 19, &R::width, "vs_width"),
    {"ssid", "ss?d=", ScanKind::Text, kWifiValueLongest, &R::ssid, nullptr, "ssid", 32, 0,
     Characters::NoQuoteOrEquals, nullptr, ValueCheck::None, 0, 0, 1, RefusedBy::Reader},
    {"psk", "psk=", ScanKind::Text, kWifiValueLongest, &R::psk, nullptr, "passkey", 63, 0,
     Characters::NoQuoteOrEquals, nullptr, ValueCheck::None, 0, 0, 8, RefusedBy::Reader},
    // Read back up to the field's width, so an address stored by other means survives.
    {"wifiip", "wi???p=", ScanKind::Text, 49, &R::wifiip, nullptr, "wifi_ip", kAddressLongest, 0,
     Characters::DigitsAndDots, nullptr, ValueCheck::Ipv4, 0, 0, 0, RefusedBy::Reader},
    decimal("height", "ght=", 19, &R::height, "vs_height"),
    // "url=" and the line end must fit the 255-character change line.
    {"url", "url=", ScanKind::Text, 255, &R::url, nullptr, "rtmpurl", 250, 0,
     Characters::NoShellOrEquals, "end", ValueCheck::None, 0, 0, 0, RefusedBy::Reader},
    address("ip", "ip=", &R::ip, "ip"),
    address("tz", "tz=", &R::tz, "tz"),
    address("netmask", "ask=", &R::netmask, "netmask"),
    address("gateway", "way=", &R::gateway, "gateway"),
    scanOnly("ctrlencode", "ode=", ScanKind::Digit, 1, nullptr, &R::ctrlencode),
    scanOnly("ctrlcodec", "l???ec=", ScanKind::Digit, 1, nullptr, &R::ctrlcodec),
    decimal("bitrate", "t??te=", 9, &R::bitrate, "bitrate"),
    decimal("audiosample", "a??le=", 9, &R::audiosample, "audiosample"),
    decimal("audiobps", "i??ps=", 9, &R::audiobps, "audiobitrate"),
    decimal("framerate", "e??te=", 9, &R::framerate, "framerate"),
    decimal("tc", "tc=", 7, &R::tc, "tc", 1, 65535),
    decimal("fi", "fi=", 7, &R::fi, "fi"),
    scanOnly("end", "end", ScanKind::EndMarker, 0, nullptr, nullptr),
    colour("lr", "lr="),
    colour("lg", "lg="),
    colour("lb", "lb="),
    colour("br", "br="),
    colour("bg", "bg="),
    colour("bb", "bb="),

    // Values of their own files.
    // The maximum delay travels through the change line; its range is the
    // command's to refuse, in its own words.
    field("cvbr", 254, Characters::Any, ValueCheck::Range, 1, 300, RefusedBy::Command),
    field("volume", 3, Characters::Digits, ValueCheck::Range, 0, 100),
    // Stored as typed; the bounds are what a client should keep to.
    field("ttl", 0, Characters::Any, ValueCheck::Range, 1, 255, RefusedBy::Command),
    field("idr", 0, Characters::Any, ValueCheck::Range, 0, kIntMax, RefusedBy::Command),
    field("mac", 0, Characters::Any, ValueCheck::None, 0, 0, RefusedBy::Command),
    // Stored two bytes a character in a fixed-size line.
    {"sub_text", nullptr, ScanKind::None, 0, nullptr, nullptr, "sub_text",
     overlay::kSubtitleTypedBytes, overlay::kSubtitleCharacters,
     Characters::Any, nullptr, ValueCheck::None, 0, 0, 0, RefusedBy::Reader},
};

constexpr std::size_t kRuleCount = sizeof kRules / sizeof kRules[0];

bool allowed(Characters set, unsigned char c) {
    switch (set) {
        case Characters::Any:
            return true;
        case Characters::Digits:
            return c >= '0' && c <= '9';
        case Characters::DigitsAndDots:
            return (c >= '0' && c <= '9') || c == '.';
        case Characters::NoQuoteOrEquals:
            return c != '"' && c != '=';
        case Characters::NoEquals:
            return c != '=';
        case Characters::NoShellOrEquals:
            // White space and what a shell would interpret.
            return std::strchr(" \t\v\f;&|$`'\"\\<>()=", c) == nullptr || c == '\0';
    }
    return false;
}

// Digits only, so the value is a plain number; false past the bound.
bool numberWithin(const std::string& digits, long long minimum, long long maximum) {
    long long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
        if (n > maximum) return false;
    }
    return n >= minimum;
}

}  // namespace

const ValueRule* valueRules(std::size_t& count) {
    count = kRuleCount;
    return kRules;
}

const ValueRule* ruleForField(const char* name) {
    for (const ValueRule& rule : kRules)
        if (rule.field && std::strcmp(rule.field, name) == 0) return &rule;
    return nullptr;
}

const ValueRule* ruleForKey(const char* key) {
    for (const ValueRule& rule : kRules)
        if (std::strcmp(rule.key, key) == 0) return &rule;
    return nullptr;
}

bool isIpv4(const std::string& text) {
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        std::size_t end = pos;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        const std::size_t digits = end - pos;
        if (digits == 0 || digits > 3 || (digits > 1 && text[pos] == '0')) return false;
        if (!numberWithin(text.substr(pos, digits), 0, 255)) return false;
        pos = end;
    }
    return pos == text.size();
}

long long largestAccepted(const ValueRule& rule) {
    long long largest = rule.maximum;
    if (rule.characters == Characters::Digits && rule.maxBytes > 0 && rule.maxBytes < 19) {
        long long digits = 1;
        for (std::size_t i = 0; i < rule.maxBytes; ++i) digits *= 10;
        if (digits - 1 < largest) largest = digits - 1;
    }
    return largest;
}

const char* refusalFor(const ValueRule& rule, const std::string& value) {
    std::size_t characters = 0;
    for (unsigned char c : value) characters += (c & 0xC0) != 0x80;
    if ((rule.maxBytes && value.size() > rule.maxBytes) ||
        (rule.maxCharacters && characters > rule.maxCharacters))
        return "error len";
    for (unsigned char c : value)
        if (!allowed(rule.characters, c)) return "error char";
    if (rule.refusedWord && value.find(rule.refusedWord) != std::string::npos) return "error char";
    if (rule.refusedBy == RefusedBy::Command) return nullptr;
    if (value.size() < rule.minBytes) return "error value";
    switch (rule.check) {
        case ValueCheck::Ipv4:
            return isIpv4(value) ? nullptr : "error value";
        case ValueCheck::Range:
            return numberWithin(value, rule.minimum, rule.maximum) ? nullptr : "error value";
        case ValueCheck::None:
            break;
    }
    return nullptr;
}

}  // namespace settings
