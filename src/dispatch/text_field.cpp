// Text fields: the shared convention, then the one table of per-field
// rules that keep values the settings files cannot hold safely.
#include <cstdio>
#include <cstring>

#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"
#include "overlay/overlay.h"

namespace {

struct TextRule {
    const char* field;
    std::size_t maxBytes;       // longer: "error len" (0: no limit beyond the buffer)
    std::size_t maxCharacters;  // UTF-8 characters; longer: "error len" (0: no limit)
    const char* refused;        // any of these bytes: "error char"
    const char* refusedWord;    // this text anywhere: "error char" (nullptr: none)
};

// A field without a row here is taken as the convention reads it.
const TextRule kTextRules[] = {
    // The maximum delay travels through the pending change line.
    {"cvbr", 254, 0, "", nullptr},
    // The subtitle is stored two bytes a character in a fixed-size line.
    {"sub_text", overlay::kSubtitleTypedBytes, overlay::kSubtitleCharacters, "", nullptr},
};

const TextRule* ruleFor(const char* field) {
    for (const TextRule& rule : kTextRules)
        if (std::strcmp(rule.field, field) == 0) return &rule;
    return nullptr;
}

std::size_t utf8Characters(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

}  // namespace

bool readTextField(const char* name, std::string& value) {
    switch (cgiFormStringNoNewlines(name, value, kTextFieldSize)) {
        case cgiFormTruncated:
            std::fputs("error len", cgiOut);
            return false;
        case cgiFormEmpty:
            std::fputs("input empty", cgiOut);
            return false;
        case cgiFormSuccess:
            break;
        default:
            return false;
    }
    const TextRule* rule = ruleFor(name);
    if (!rule) return true;
    if ((rule->maxBytes && value.size() > rule->maxBytes) ||
        (rule->maxCharacters && utf8Characters(value) > rule->maxCharacters)) {
        std::fputs("error len", cgiOut);
        return false;
    }
    if (value.find_first_of(rule->refused) != std::string::npos ||
        (rule->refusedWord && value.find(rule->refusedWord) != std::string::npos)) {
        std::fputs("error char", cgiOut);
        return false;
    }
    return true;
}
