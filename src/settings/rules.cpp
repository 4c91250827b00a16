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
constexpr std::size_t kDecimalLongest = 9;     // the header's decimal keys
constexpr std::size_t kShortDecimalLongest = 7;  // tc and fi
// Positions and sizes of the overlays and the subtitle, in pixels.
constexpr long long kPixelMax = 9999;
// The sample rates the encoder's audio path runs at.
constexpr long long kSampleRates[] = {32000, 44100, 48000};

ValueRule row(const char* key, ScanKind kind, std::size_t longest, std::string R::*text,
              int R::*number, const char* field, std::size_t maxBytes, Characters characters,
              ValueCheck check = ValueCheck::None, long long minimum = 0, long long maximum = 0,
              std::size_t minBytes = 0, RefusedBy by = RefusedBy::Reader) {
    return {key,   kind,     longest,   text,    number, field,  maxBytes, 0,      characters,
            nullptr, check, minimum, maximum, minBytes, by,  nullptr,  0};
}

ValueRule address(const char* key, std::string R::*text, const char* field,
                  ValueCheck check = ValueCheck::Ipv4) {
    return row(key, ScanKind::Text, kAddressLongest, text, nullptr, field, kAddressLongest,
               Characters::DigitsAndDots, check);
}

// A header number: digits only, within its range, at most as many
// characters as the scanner takes.
ValueRule decimal(const char* key, std::size_t longest, int R::*number, const char* field,
                  long long minimum, long long maximum) {
    return row(key, ScanKind::Decimal, longest, nullptr, number, field, longest, Characters::Digits,
               ValueCheck::Range, minimum, maximum);
}

// A header switch: one digit, written back as it was read.
ValueRule digit(const char* key, int R::*number) {
    return row(key, ScanKind::Digit, 1, nullptr, number, nullptr, 1, Characters::Digits,
               ValueCheck::Range, 0, 9);
}

ValueRule colour(const char* key) {
    return row(key, ScanKind::Colour, 4, nullptr, nullptr, key, 4, Characters::SignedDigits,
               ValueCheck::Range, -999, 9999);
}

// A number of its own file, as digits.
ValueRule number(const char* field, std::size_t maxBytes, long long minimum, long long maximum,
                 RefusedBy by = RefusedBy::Reader) {
    return row(field, ScanKind::None, 0, nullptr, nullptr, field, maxBytes, Characters::Digits,
               ValueCheck::Range, minimum, maximum, 0, by);
}

ValueRule pixels(const char* field) { return number(field, 4, 0, kPixelMax); }

ValueRule withWord(ValueRule rule, const char* word) {
    rule.refusedWord = word;
    return rule;
}

ValueRule choices(ValueRule rule, const long long* values, std::size_t count) {
    rule.check = ValueCheck::Choices;
    rule.choices = values;
    rule.choiceCount = count;
    return rule;
}

ValueRule characterBound(ValueRule rule, std::size_t maxCharacters) {
    rule.maxCharacters = maxCharacters;
    return rule;
}

const ValueRule kRules[] = {
    // The scanner's keys.
    decimal("width", kAddressLongest, &R::width, "vs_width", 16, 1920),
    row("ssid", ScanKind::Text, kWifiValueLongest, &R::ssid, nullptr, "ssid", 32,
        Characters::NoQuote, ValueCheck::None, 0, 0, 1),
    row("psk", ScanKind::Text, kWifiValueLongest, &R::psk, nullptr, "passkey", 64,
        Characters::NoQuote, ValueCheck::PassPhrase),
    // Read back up to the field's width, so an address stored by other means survives.
    row("wifiip", ScanKind::Text, 49, &R::wifiip, nullptr, "wifi_ip", kAddressLongest,
        Characters::DigitsAndDots, ValueCheck::Ipv4),
    decimal("height", kAddressLongest, &R::height, "vs_height", 16, 1920),
    // "url=" and the line end must fit the 255-character change line; how
    // much of that the header has room for is the rewrite's to say.
    withWord(row("url", ScanKind::Text, kUrlMax, &R::url, nullptr, "rtmpurl", kUrlFieldMax,
                 Characters::NoShellOrEquals),
             "end"),
    address("ip", &R::ip, "ip"),
    address("tz", &R::tz, "tz"),
    address("netmask", &R::netmask, "netmask", ValueCheck::Netmask),
    address("gateway", &R::gateway, "gateway"),
    digit("ctrlencode", &R::ctrlencode),
    digit("ctrlcodec", &R::ctrlcodec),
    decimal("bitrate", kDecimalLongest, &R::bitrate, "bitrate", 1, 999999999),
    choices(decimal("audiosample", kDecimalLongest, &R::audiosample, "audiosample", 0, 0),
            kSampleRates, sizeof kSampleRates / sizeof kSampleRates[0]),
    decimal("audiobps", kDecimalLongest, &R::audiobps, "audiobitrate", 1, 999999999),
    decimal("framerate", kDecimalLongest, &R::framerate, "framerate", 1, 60),
    decimal("tc", kShortDecimalLongest, &R::tc, "tc", 1, 65535),
    decimal("fi", kShortDecimalLongest, &R::fi, "fi", 1, 9999999),
    row("end", ScanKind::EndMarker, 0, nullptr, nullptr, nullptr, 0, Characters::Any),
    colour("lr"),
    colour("lg"),
    colour("lb"),
    colour("br"),
    colour("bg"),
    colour("bb"),

    // Values of their own files.
    // The maximum delay travels through the change line; its range is the
    // command's to refuse, in its own words.
    number("cvbr", 254, 1, 300, RefusedBy::Command),
    number("volume", 3, 0, 100),
    // Written to their files as typed: any length of digits within the range.
    number("ttl", 0, 1, 255),
    number("idr", 0, 0, kIntMax),
    // A malformed address is the command's to refuse, in its own words.
    row("mac", ScanKind::None, 0, nullptr, nullptr, "mac", 0, Characters::Any,
        ValueCheck::UnicastMac, 0, 0, 0, RefusedBy::Command),
    pixels("mg_x"), pixels("mg_y"), pixels("mg_w"), pixels("mg_h"),
    pixels("gx_x"), pixels("gx_y"), pixels("gx_w"), pixels("gx_h"),
    pixels("s_x"), pixels("s_y"),
    // Stored two bytes a character in a fixed-size line.
    characterBound(row("sub_text", ScanKind::None, 0, nullptr, nullptr, "sub_text",
                       overlay::kSubtitleTypedBytes, Characters::Subtitle),
                   overlay::kSubtitleCharacters),
};

constexpr std::size_t kRuleCount = sizeof kRules / sizeof kRules[0];

bool allowedByte(Characters set, unsigned char c) {
    switch (set) {
        case Characters::Digits:
            return c >= '0' && c <= '9';
        case Characters::DigitsAndDots:
            return (c >= '0' && c <= '9') || c == '.';
        case Characters::NoQuote:
        case Characters::NoShellOrEquals:
            return c == '\0' || std::strchr(refusedBytes(set), c) == nullptr;
        default:
            return true;
    }
}

bool allowed(Characters set, const std::string& value) {
    if (set == Characters::Subtitle) return overlay::storableSubtitleText(value);
    std::size_t from = 0;
    if (set == Characters::SignedDigits) {
        set = Characters::Digits;
        from = !value.empty() && value[0] == '-';
    }
    for (std::size_t i = from; i < value.size(); ++i)
        if (!allowedByte(set, static_cast<unsigned char>(value[i]))) return false;
    return true;
}

// Digits only, at least one, so the value is a plain number; false past the bound.
bool numberWithin(const std::string& digits, long long minimum, long long maximum) {
    long long n = 0;
    return decimalValue(digits, n) && n >= minimum && n <= maximum;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isPassPhrase(const std::string& value) {
    if (value.size() == 64) {
        bool hex = true;
        for (char c : value) hex = hex && hexValue(c) >= 0;
        if (hex) return true;  // a raw key
    }
    if (value.size() < 8 || value.size() > 63) return false;
    for (unsigned char c : value)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

bool isNetmask(const std::string& value) {
    if (!isIpv4(value)) return false;
    unsigned long bits = 0;
    long long part = 0;
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        std::size_t dot = value.find('.', pos);
        decimalValue(value.substr(pos, dot == std::string::npos ? dot : dot - pos), part);
        bits = bits << 8 | static_cast<unsigned long>(part);
        pos = dot + 1;
    }
    // The one-bits come first: the inverted mask plus one is a power of two.
    const unsigned long hostBits = ~bits & 0xffffffffUL;
    return (hostBits & (hostBits + 1)) == 0;
}

bool isUnicastMac(const std::string& value) {
    if (!isMacAddress(value)) return false;
    const int first = hexValue(value[0]) * 16 + hexValue(value[1]);
    return (first & 1) == 0 && value.find_first_not_of("0:") != std::string::npos;
}

}  // namespace

const char* refusedBytes(Characters set) {
    switch (set) {
        case Characters::NoQuote:
            return "\"";
        case Characters::NoShellOrEquals:
            // White space, what a shell would interpret (a "~" is expanded
            // in an assignment), and "=".
            return " \t\v\f;&|$`'\"\\<>()=~";
        default:
            return nullptr;
    }
}

const ValueRule* valueRules(std::size_t& count) {
    count = kRuleCount;
    return kRules;
}

const ValueRule* ruleForField(const char* name) {
    for (const ValueRule& rule : kRules)
        if (rule.field && rule.field[0] == name[0] && std::strcmp(rule.field, name) == 0) return &rule;
    return nullptr;
}

const ValueRule* ruleForKey(const char* key) {
    for (const ValueRule& rule : kRules)
        if (rule.key[0] == key[0] && std::strcmp(rule.key, key) == 0) return &rule;
    return nullptr;
}

bool decimalValue(const std::string& text, long long& value) {
    // More digits than this could overflow; no setting comes near it.
    constexpr std::size_t kMaxDigits = 18;
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t first = negative ? 1 : 0;
    // Leading zeros carry no value and do not count towards the bound.
    std::size_t significant = text.find_first_not_of('0', first);
    if (significant == std::string::npos) significant = text.size();
    if (text.size() == first || text.size() - significant > kMaxDigits) return false;
    long long n = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + (text[i] - '0');
    }
    value = negative ? -n : n;
    return true;
}

RtmpUrl splitRtmpUrl(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t host = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t hostEnd = url.find_first_of("/?", host);
    if (hostEnd == std::string::npos) return {url, ""};
    if (url[hostEnd] == '?') return {url.substr(0, hostEnd), url.substr(hostEnd)};
    const std::size_t appEnd = url.find_first_of("/?", hostEnd + 1);
    if (appEnd == std::string::npos) return {url, ""};
    return {url.substr(0, appEnd), url.substr(url[appEnd] == '/' ? appEnd + 1 : appEnd)};
}

std::string joinRtmpUrl(const RtmpUrl& parts) {
    if (parts.key.empty()) return parts.address;
    return parts.address + (parts.key.front() == '?' ? "" : "/") + parts.key;
}

std::string shownRtmpUrl(const std::string& url) {
    RtmpUrl parts = splitRtmpUrl(url);
    if (!parts.key.empty()) parts.key = parts.key.front() == '?' ? "?********" : "********";
    return joinRtmpUrl(parts);
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

bool isMacAddress(const std::string& text) {
    constexpr std::size_t kMacLength = 17;  // XX:XX:XX:XX:XX:XX
    if (text.size() != kMacLength) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool colon = i % 3 == 2;
        if (colon ? text[i] != ':' : hexValue(text[i]) < 0) return false;
    }
    return true;
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
    if (!allowed(rule.characters, value)) return "error char";
    if (rule.refusedWord && value.find(rule.refusedWord) != std::string::npos) return "error char";
    // A well-formed address the network cannot use; a malformed one is the
    // command's to refuse.
    if (rule.check == ValueCheck::UnicastMac && isMacAddress(value) && !isUnicastMac(value))
        return "error value";
    if (rule.refusedBy == RefusedBy::Command) return nullptr;
    return wellFormed(rule, value) ? nullptr : "error value";
}

bool wellFormed(const ValueRule& rule, const std::string& value) {
    if (value.size() < rule.minBytes) return false;
    switch (rule.check) {
        case ValueCheck::Ipv4:
            return isIpv4(value);
        case ValueCheck::Netmask:
            return isNetmask(value);
        case ValueCheck::Range:
            return numberWithin(value, rule.minimum, rule.maximum);
        case ValueCheck::Choices:
            for (std::size_t i = 0; i < rule.choiceCount; ++i)
                if (numberWithin(value, rule.choices[i], rule.choices[i])) return true;
            return false;
        case ValueCheck::PassPhrase:
            return isPassPhrase(value);
        case ValueCheck::UnicastMac:
            return isMacAddress(value) && isUnicastMac(value);
        case ValueCheck::None:
            break;
    }
    return true;
}

}  // namespace settings
