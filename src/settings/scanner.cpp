// The key scanner. A key counts only as a whole name at the start of a
// line followed by "=": a key name that ends another word ("dbg=") or
// stands inside a value is no assignment, as in the shell that runs the
// boot script.
#include <algorithm>
#include <cstring>

#include "capture/capture.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace settings {
namespace {

// Longer than any key: no need to look further for the "=".
constexpr std::size_t kLongestKey = 12;

// The scanner's row whose key and "=" begin the line at pos, or nullptr.
const ValueRule* keyAt(const std::string& text, std::size_t pos) {
    const std::size_t eq = text.find_first_of("=\n", pos);
    if (eq == std::string::npos || eq == pos || text[eq] != '=' || eq - pos > kLongestKey)
        return nullptr;
    const std::string name = text.substr(pos, eq - pos);
    const ValueRule* rule = ruleForKey(name.c_str());
    // The whole name: a zero byte would end it early for the lookup.
    if (!rule || std::strlen(rule->key) != name.size() || rule->scanKind == ScanKind::None ||
        rule->scanKind == ScanKind::EndMarker)
        return nullptr;
    return rule;
}

}  // namespace

ScanResult scanSettingsText(const std::string& text, std::size_t limit) {
    ScanResult result;
    if (limit <= 2) return result;
    const std::size_t marker = text.find("end");
    if (marker < limit) result.endMarker = marker;
    const std::size_t stop = std::min(limit, marker);
    for (std::size_t start = 0; start < stop && start < text.size();) {
        const std::size_t lineEnd = text.find('\n', start);
        if (const ValueRule* rule = keyAt(text, start)) {
            ScannedItem item;
            item.rule = rule;
            item.position = start;
            const std::size_t v = start + std::strlen(rule->key) + 1;
            const std::size_t valueEnd = text.find_first_of("\r\n", v);
            item.first = v < text.size() ? text[v] : '\0';
            item.value = text.substr(v, valueEnd == std::string::npos ? valueEnd : valueEnd - v);
            // Without a line end, or past the longest value, a value is not taken.
            item.taken = valueEnd != std::string::npos && item.value.size() <= rule->longest;
            result.items.push_back(std::move(item));
        }
        if (lineEnd == std::string::npos) break;
        start = lineEnd + 1;
    }
    return result;
}

void applyScanned(const ScanResult& scan, ColourKeys colourKeys) {
    SettingsRecord& r = record();
    if (scan.endMarker) r.headerLength = static_cast<int>(*scan.endMarker);
    for (const ScannedItem& item : scan.items) {
        const ValueRule& rule = *item.rule;
        if (rule.scanKind == ScanKind::Digit) {
            r.*rule.number = static_cast<unsigned char>(item.first) - '0';
            continue;
        }
        if (!item.taken) continue;
        switch (rule.scanKind) {
            case ScanKind::Text:
                // The field is a C string: a zero byte ends what it holds.
                r.*rule.text = item.value.substr(0, item.value.find('\0'));
                break;
            case ScanKind::Decimal:
                r.*rule.number = platform::atoiValue(item.value);
                break;
            case ScanKind::Colour:
                if (colourKeys == ColourKeys::Apply)
                    capture::applyColourKey(rule.key, item.value, item.position);
                break;
            default:
                break;
        }
    }
}

void parseSettingsText(const std::string& text, std::size_t limit, ColourKeys colourKeys) {
    applyScanned(scanSettingsText(text, limit), colourKeys);
}

}  // namespace settings
