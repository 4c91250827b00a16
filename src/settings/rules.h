// The one table of values the program takes from a form or reads from a
// settings file: the keys the scanner knows, how far a reader takes a
// value, and what a text field refuses. The refusals, the scanner, the file
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
    SignedDigits,    // an optional "-", then 0-9
    DigitsAndDots,   // 0-9 and "."
    NoQuote,         // stored in double quotes in the network block
    NoShellOrEquals, // runs as part of the boot script
    Subtitle,        // printable ASCII, or a character that has a GB2312 form
};

// What a well-formed value must also be; otherwise "error value".
enum class ValueCheck {
    None,
    Ipv4,
    Netmask,     // an address whose one-bits come first
    Range,       // a number within [minimum, maximum]
    Choices,     // one of the numbers in choices
    PassPhrase,  // 64 hexadecimal digits, or 8 to 63 printable ASCII
    UnicastMac,  // a well-formed address that is neither multicast nor all zeros
};

// Who answers a value outside the rule's bounds: the shared reader with its
// refusal words, or the command in its own words; the bounds then tell a
// client what to keep to.
enum class RefusedBy { Reader, Command };

struct ValueRule {
    const char* key;            // as it stands in a file ("bitrate"), or the field
    ScanKind scanKind;          // None: not a key of the scanner
    std::size_t longest;        // longest value the scanner or the file reader takes
    std::string SettingsRecord::*text;
    int SettingsRecord::*number;
    const char* field;          // form text field that sets it, or nullptr
    std::size_t maxBytes;       // longer: "error len" (0: only the field buffer's bound)
    std::size_t maxCharacters;  // UTF-8 characters; longer: "error len" (0: no bound)
    Characters characters;
    const char* refusedWord;    // this text anywhere: "error char" (nullptr: none)
    ValueCheck check;
    long long minimum;          // Range: inclusive bounds
    long long maximum;
    std::size_t minBytes;       // shorter: "error value" (0: no bound)
    RefusedBy refusedBy;
    const long long* choices;   // Choices: the numbers, choiceCount of them
    std::size_t choiceCount;
};

// Every row, the scanner's keys first.
const ValueRule* valueRules(std::size_t& count);

// The row whose form field is name, or nullptr.
const ValueRule* ruleForField(const char* name);

// The row whose key is key, or nullptr.
const ValueRule* ruleForKey(const char* key);

// The refusal words for value under rule, or nullptr when it is accepted:
// "error len", "error char" or "error value", checked in that order.
const char* refusalFor(const ValueRule& rule, const std::string& value);

// Whether the value is what the rule's check asks for (its least length,
// an address, a number in range, ...), whoever refuses it when not: what
// a change set is checked by before any command runs.
bool wellFormed(const ValueRule& rule, const std::string& value);

// The bytes a set of Characters refuses one by one (the sets that keep
// single bytes out); nullptr for the others.
const char* refusedBytes(Characters set);

// An RTMP address in two parts: up to the application name, and the stream
// key after it (a query right after the application keeps its "?"). The
// key is a secret: the state document gives it only with the secrets, and
// the audit log never.
struct RtmpUrl {
    std::string address;
    std::string key;
};
RtmpUrl splitRtmpUrl(const std::string& url);
std::string joinRtmpUrl(const RtmpUrl& parts);
// The address as replies show it: a stream key as "********".
std::string shownRtmpUrl(const std::string& url);

// A dotted IPv4 address: four numbers of 0 to 255 without leading zeros.
bool isIpv4(const std::string& text);

// Six pairs of hexadecimal digits of either case separated by colons.
bool isMacAddress(const std::string& text);

// The largest number a Range row accepts, its digit count included.
long long largestAccepted(const ValueRule& rule);

// The number a value of digits (with a leading "-" for SignedDigits) stands
// for; false when it is none or lies beyond what a long long holds.
bool decimalValue(const std::string& text, long long& value);

}  // namespace settings
