// The key scanner. It does not split lines: at every position it tests the
// last characters of each known key, so keys are recognised wherever their
// ending stands. Callers rely on exactly this matching, gaps included.
#include <cstring>
#include <vector>

#include "capture/capture.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace settings {
namespace {

enum class Kind { Text, Decimal, Digit, EndMarker, Colour };

struct KeyTest {
    const char* pattern;  // characters from the position on; '?' is not looked at
    Kind kind;
    std::size_t longest;  // longest value taken (Text, Decimal, Colour)
    std::string SettingsRecord::*text;
    int SettingsRecord::*number;
    const char* colourKey;
    bool wifiNetwork;  // also made when reading the Wi-Fi network block
};

using R = SettingsRecord;

// In the order the tests are made at each position.
const KeyTest kTests[] = {
    {"dth=", Kind::Decimal, 19, nullptr, &R::width, nullptr, false},
    {"ss?d=", Kind::Text, 49, &R::ssid, nullptr, nullptr, true},
    {"psk=", Kind::Text, 49, &R::psk, nullptr, nullptr, true},
    {"wi???p=", Kind::Text, 49, &R::wifiip, nullptr, nullptr, false},
    {"ght=", Kind::Decimal, 19, nullptr, &R::height, nullptr, false},
    {"url=", Kind::Text, 255, &R::url, nullptr, nullptr, false},
    {"ip=", Kind::Text, 19, &R::ip, nullptr, nullptr, false},
    {"tz=", Kind::Text, 19, &R::tz, nullptr, nullptr, false},
    {"ask=", Kind::Text, 19, &R::netmask, nullptr, nullptr, false},
    {"way=", Kind::Text, 19, &R::gateway, nullptr, nullptr, false},
    {"ode=", Kind::Digit, 1, nullptr, &R::ctrlencode, nullptr, false},
    {"l???ec=", Kind::Digit, 1, nullptr, &R::ctrlcodec, nullptr, false},
    {"t??te=", Kind::Decimal, 9, nullptr, &R::bitrate, nullptr, false},
    {"a??le=", Kind::Decimal, 9, nullptr, &R::audiosample, nullptr, false},
    {"i??ps=", Kind::Decimal, 9, nullptr, &R::audiobps, nullptr, false},
    {"e??te=", Kind::Decimal, 9, nullptr, &R::framerate, nullptr, false},
    {"tc=", Kind::Decimal, 7, nullptr, &R::tc, nullptr, false},
    {"fi=", Kind::Decimal, 7, nullptr, &R::fi, nullptr, false},
    {"end", Kind::EndMarker, 0, nullptr, nullptr, nullptr, false},
    {"lr=", Kind::Colour, 4, nullptr, nullptr, "lr", false},
    {"lg=", Kind::Colour, 4, nullptr, nullptr, "lg", false},
    {"lb=", Kind::Colour, 4, nullptr, nullptr, "lb", false},
    {"br=", Kind::Colour, 4, nullptr, nullptr, "br", false},
    {"bg=", Kind::Colour, 4, nullptr, nullptr, "bg", false},
    {"bb=", Kind::Colour, 4, nullptr, nullptr, "bb", false},
};

// The tests grouped by their first character (never a '?'), each group in
// table order. Only tests starting with the character at a position can match
// there, so scanning a group makes the same tests in the same order as the
// whole table would, without trying the other two dozen at every position:
// the status report scans over five hundred positions.
struct FirstCharacterIndex {
    std::vector<const KeyTest*> tests[256];
    FirstCharacterIndex() {
        for (const KeyTest& test : kTests)
            tests[static_cast<unsigned char>(test.pattern[0])].push_back(&test);
    }
};

const std::vector<const KeyTest*>& testsStartingWith(char c) {
    static const FirstCharacterIndex index;
    return index.tests[static_cast<unsigned char>(c)];
}

// The text as a zero-filled buffer would show it.
char at(const std::string& text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

bool matches(const std::string& text, std::size_t i, const char* pattern) {
    for (std::size_t k = 0; pattern[k]; ++k)
        if (pattern[k] != '?' && at(text, i + k) != pattern[k]) return false;
    return true;
}

// Length of the value at v: the first CR or LF within longest + 1
// characters ends it; without one the item is ignored.
bool valueLength(const std::string& text, std::size_t v, std::size_t longest, std::size_t& n) {
    for (n = 0; n <= longest; ++n) {
        char c = at(text, v + n);
        if (c == '\r' || c == '\n') return true;
    }
    return false;
}

}  // namespace

void parseSettingsText(const std::string& text, std::size_t limit, KeySet keys) {
    if (limit <= 2) return;
    SettingsRecord& r = record();
    for (std::size_t i = 0; i < limit; ++i) {
        for (const KeyTest* candidate : testsStartingWith(at(text, i))) {
            const KeyTest& test = *candidate;
            if (keys == KeySet::WifiNetwork && !test.wifiNetwork) continue;
            if (!matches(text, i, test.pattern)) continue;
            if (test.kind == Kind::EndMarker) {
                r.headerLength = static_cast<int>(i);
                return;
            }
            std::size_t v = i + std::strlen(test.pattern);
            if (test.kind == Kind::Digit) {
                r.*test.number = static_cast<unsigned char>(at(text, v)) - '0';
                continue;
            }
            std::size_t n = 0;
            if (!valueLength(text, v, test.longest, n)) continue;
            std::string value = text.substr(v, n);
            switch (test.kind) {
                case Kind::Text:
                    // The field is a C string: a zero byte ends what it holds.
                    r.*test.text = value.substr(0, value.find('\0'));
                    break;
                case Kind::Decimal:
                    r.*test.number = platform::atoiValue(value);
                    break;
                case Kind::Colour:
                    capture::applyColourKey(test.colourKey, value, i);
                    break;
                default:
                    break;
            }
        }
    }
}

}  // namespace settings
