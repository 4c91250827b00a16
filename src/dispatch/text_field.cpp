// Text fields: the shared convention, then the one table of per-field
// rules that keep values the settings files cannot hold safely.
#include <cstdio>
#include <cstring>

#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"
#include "overlay/overlay.h"

namespace {

// Characters a shell would interpret, and "=", which would let a value
// plant another key when a change line is scanned.
#define SHELL_SPECIAL " \t\v\f;&|$`'\"\\<>()"

struct TextRule {
    const char* field;
    std::size_t maxBytes;       // longer: "error len" (0: no limit beyond the buffer)
    std::size_t maxCharacters;  // UTF-8 characters; longer: "error len" (0: no limit)
    const char* refused;        // any of these bytes: "error char"
    const char* allowed;        // any byte outside these: "error char" (nullptr: any)
    const char* refusedWord;    // this text anywhere: "error char" (nullptr: none)
};

// A field without a row here is taken as the convention reads it.
const TextRule kTextRules[] = {
    // The maximum delay travels through the pending change line.
    {"cvbr", 254, 0, "", nullptr, nullptr},
    // Stored in double quotes in the network block, and only up to 47
    // characters are ever read back from it.
    {"ssid", 47, 0, "\"=", nullptr, nullptr},
    {"passkey", 47, 0, "\"=", nullptr, nullptr},
    // Becomes part of a command line the network start-up runs.
    {"wifi_ip", 19, 0, SHELL_SPECIAL "=", nullptr, nullptr},
    // Spliced into the mixer state file as a decimal value.
    {"volume", 3, 0, "", "0123456789", nullptr},
    // Boot-script header: the script runs at every start as root, a value
    // longer than its key takes is ignored by the scanner, "=" would plant
    // another key in the scanned change line, and "end" would be taken for
    // the end of the header.
    {"ip", 19, 0, SHELL_SPECIAL "=", nullptr, "end"},
    {"netmask", 19, 0, SHELL_SPECIAL "=", nullptr, "end"},
    {"gateway", 19, 0, SHELL_SPECIAL "=", nullptr, "end"},
    {"tz", 19, 0, SHELL_SPECIAL "=", nullptr, "end"},
    {"rtmpurl", 250, 0, SHELL_SPECIAL "=", nullptr, "end"},  // "url=" and "\n" fill the line
    {"vs_width", 19, 0, "=", nullptr, nullptr},
    {"vs_height", 19, 0, "=", nullptr, nullptr},
    {"bitrate", 9, 0, "=", nullptr, nullptr},
    {"audiosample", 9, 0, "=", nullptr, nullptr},
    {"audiobitrate", 9, 0, "=", nullptr, nullptr},
    {"framerate", 9, 0, "=", nullptr, nullptr},
    {"tc", 7, 0, "=", nullptr, nullptr},
    {"fi", 7, 0, "=", nullptr, nullptr},
    // Colour values: applied by the scanner, which takes at most four characters.
    {"lr", 4, 0, "=", nullptr, nullptr},
    {"lg", 4, 0, "=", nullptr, nullptr},
    {"lb", 4, 0, "=", nullptr, nullptr},
    {"br", 4, 0, "=", nullptr, nullptr},
    {"bg", 4, 0, "=", nullptr, nullptr},
    {"bb", 4, 0, "=", nullptr, nullptr},
    // The subtitle is stored two bytes a character in a fixed-size line.
    {"sub_text", overlay::kSubtitleTypedBytes, overlay::kSubtitleCharacters, "", nullptr, nullptr},
};

#undef SHELL_SPECIAL

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
            replyRefusal("error len");
            return false;
        case cgiFormEmpty:
            replyRefusal("input empty");
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
        replyRefusal("error len");
        return false;
    }
    if (value.find_first_of(rule->refused) != std::string::npos ||
        (rule->allowed && value.find_first_not_of(rule->allowed) != std::string::npos) ||
        (rule->refusedWord && value.find(rule->refusedWord) != std::string::npos)) {
        replyRefusal("error char");
        return false;
    }
    return true;
}
