// The key scanner. It does not split lines: at every position it tests the
// last characters of each known key, so keys are recognised wherever their
// ending stands. Callers rely on exactly this matching, gaps included; the
// tests themselves are the scanner rows of the value rules.
#include <cstring>
#include <vector>

#include "capture/capture.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace settings {
namespace {

// The tests grouped by their first character (never a '?'), each group in
// table order. Only tests starting with the character at a position can match
// there, so scanning a group makes the same tests in the same order as the
// whole table would, without trying the other two dozen at every position:
// the status report scans over five hundred positions.
struct FirstCharacterIndex {
    std::vector<const ValueRule*> tests[256];
    FirstCharacterIndex() {
        std::size_t count = 0;
        const ValueRule* rules = valueRules(count);
        for (std::size_t i = 0; i < count; ++i)
            if (rules[i].scanKind != ScanKind::None)
                tests[static_cast<unsigned char>(rules[i].scanPattern[0])].push_back(&rules[i]);
    }
};

const std::vector<const ValueRule*>& testsStartingWith(char c) {
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

void parseSettingsText(const std::string& text, std::size_t limit, ColourKeys colourKeys) {
    if (limit <= 2) return;
    SettingsRecord& r = record();
    for (std::size_t i = 0; i < limit; ++i) {
        for (const ValueRule* candidate : testsStartingWith(at(text, i))) {
            const ValueRule& test = *candidate;
            if (!matches(text, i, test.scanPattern)) continue;
            if (test.scanKind == ScanKind::EndMarker) {
                r.headerLength = static_cast<int>(i);
                return;
            }
            std::size_t v = i + std::strlen(test.scanPattern);
            if (test.scanKind == ScanKind::Digit) {
                r.*test.number = static_cast<unsigned char>(at(text, v)) - '0';
                continue;
            }
            std::size_t n = 0;
            if (!valueLength(text, v, test.longest, n)) continue;
            std::string value = text.substr(v, n);
            switch (test.scanKind) {
                case ScanKind::Text:
                    // The field is a C string: a zero byte ends what it holds.
                    r.*test.text = value.substr(0, value.find('\0'));
                    break;
                case ScanKind::Decimal:
                    r.*test.number = platform::atoiValue(value);
                    break;
                case ScanKind::Colour:
                    if (colourKeys == ColourKeys::Apply) capture::applyColourKey(test.key, value, i);
                    break;
                default:
                    break;
            }
        }
    }
}

}  // namespace settings
