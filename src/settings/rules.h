// The one table of values the program takes from a form or reads from a
// settings file: the key scanner's tests, how far a reader takes a value,
// and what a text field refuses. The refusals, the scanner, the file
// readers and the schema of the state document all read their bounds here.
#pragma once

#include <cstddef>
#include <string>

namespace settings {

struct SettingsRecord;

// How the scanner stores a value it finds.
enum class ScanKind { None, Text, Decimal, Digit, EndMarker, Colour };

// Which bytes a text field may hold; anything else is "error char".
enum class Characters {
    Any,
    Digits,          // 0-9
    DigitsAndDots,   // 0-9 and "."
    NoQuoteOrEquals, // stored in double quotes in the network block
    NoEquals,        // "=" would plant another key in a scanned change line
    NoShellOrEquals, // runs as part of the boot script
};

// What a well-formed value must also be; otherwise "error value".
enum class ValueCheck { None, Ipv4, Range };

// Who answers a value outside the rule's bounds: the shared reader with its
// refusal words, or the command (in its own words, or by storing the text
// as typed); the bounds then tell a client what to keep to.
enum class RefusedBy { Reader, Command };

struct ValueRule {
    const char* key;            // as it stands in a file ("bitrate"), or the field
    const char* scanPattern;    // scanner test: characters from the position, '?' unchecked
    ScanKind scanKind;
    std::size_t longest;        // longest value the scanner or the file reader takes
    std::string SettingsRecord::*text;
    int SettingsRecord::*number;
    const char* field;          // form text field that sets it, or nullptr
    std::size_t maxBytes;       // longer: "error len" (0: only the field buffer's bound)
    std::size_t maxCharacters;  // UTF-8 characters; longer: "error len" (0: no bound)
    Characters characters;
    const char* refusedWord;    // this text anywhere: "error char" (nullptr: none)
    ValueCheck check;
    long long minimum;          // Range: inclusive bounds; minBytes for text
    long long maximum;
    std::size_t minBytes;       // shorter: "error value" (0: no bound)
    RefusedBy refusedBy;
};

// Every row, the scanner's tests first in the order it makes them.
const ValueRule* valueRules(std::size_t& count);

// The row whose form field is name, or nullptr.
const ValueRule* ruleForField(const char* name);

// The row whose key is key, or nullptr.
const ValueRule* ruleForKey(const char* key);

// The refusal words for value under rule, or nullptr when it is accepted:
// "error len", "error char" or "error value", checked in that order.
const char* refusalFor(const ValueRule& rule, const std::string& value);

// A dotted IPv4 address: four numbers of 0 to 255 without leading zeros.
bool isIpv4(const std::string& text);

// The largest number a Range row accepts, its digit count included.
long long largestAccepted(const ValueRule& rule);

}  // namespace settings
