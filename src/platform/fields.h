// What every command reads and returns: the form's fields under the names
// and result codes of the cgic library, the shared text-field convention,
// the reply helpers, and the outcome a command leaves for the dispatcher,
// the change set and the audit log.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

enum cgiFormResultType {
    cgiFormSuccess,
    cgiFormTruncated,
    cgiFormEmpty,
    cgiFormNotFound,
    cgiFormNoSuchChoice,
};

// The reply stream; the same stream as stdout.
extern FILE* cgiOut;

// A text field is read into this many bytes, terminator included, so a
// value may hold one byte less.
constexpr std::size_t kTextFieldSize = 1024;

void cgiHeaderContentType(const char* mimeType);

// Success when the form carries a field of that name, whatever its value.
cgiFormResultType cgiFormSubmitClicked(const char* name);

// Index of the value among the choices, compared exactly. Absent field:
// cgiFormNotFound; a value that is no choice: cgiFormNoSuchChoice. Both
// leave defaultV in *result.
cgiFormResultType cgiFormRadio(const char* name, const char* const* choices, int choicesTotal,
                               int* result, int defaultV);
cgiFormResultType cgiFormSelectSingle(const char* name, const char* const* choices,
                                      int choicesTotal, int* result, int defaultV);

// The value with CR and LF removed. Longer than max - 1 bytes, or holding a
// NUL byte (which a C buffer would silently cut): cgiFormTruncated and an
// empty result. Empty after removal: cgiFormEmpty.
cgiFormResultType cgiFormStringNoNewlines(const char* name, std::string& result,
                                          std::size_t max);

namespace form {

using Fields = std::vector<std::pair<std::string, std::string>>;

// Makes these the fields the cgiForm calls read.
void install(Fields fields);

// The request's method as run() read it, in lower case ("get", "post").
const std::string& method();
void setMethod(std::string method);

// Writes a whole reply that is not a report: a CGI Status line, any
// further header lines (each ending in CRLF), the text/plain header and
// the one line.
void answer(const char* status, const std::string& extraHeaders, const char* line);

}  // namespace form

// What the dispatcher does after a command: go on with the list, or end
// the request there (a settings file that cannot be written).
enum class Flow { Continue, EndRequest };

// Reads a text field by the shared convention: "error len" when it is too
// long, "input empty" when empty (neither with a line end), nothing when
// absent; then by the field's row of the value rules: "error len" beyond
// its length, "error char" for a refused character, "error value" for a
// well-formed value the device cannot use. True only when the command
// should act on value.
bool readTextField(const char* name, std::string& value);

// A refusal of the command's input as the reply gives it ("error len",
// "error char", "error value" and "input empty" with no line end); the
// audit log records it, without a line end, as the command's outcome.
void replyRefusal(const char* text);

// A refusal the command states in a line of its own ("error: ... nothing
// changed"); the audit log records it as the command's outcome.
void replyRefusalLine(const char* line);

// A line saying the command could not do its work; the audit log records
// it as the command's outcome.
void replyFailed(const char* line);

// The reply line of a settings file the command cannot read or write.
void replyCannotOpen(const char* line = "Can't open file");

// Writes a one-digit flag file through the shell, as the appliance's
// scripts do; when the shell could not write it, "Can't open file <name>"
// follows the command's message and is the command's outcome.
void echoFlagFile(int digit, const char* appliancePath);

// What a command did. The first refusal or failure it replied is its
// outcome; a command that replied neither applied its change.
struct Outcome {
    enum class Kind { Applied, Refused, Failed };
    Kind kind = Kind::Applied;
    std::string words;  // the refusal or failure as replied, line end removed
};

namespace command {

// Starts the outcome of the next command.
void begin();

// The outcome of the command since begin().
Outcome end();

}  // namespace command
