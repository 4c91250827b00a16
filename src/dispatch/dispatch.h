// The request dispatcher: what a command returns, the shared text-field
// convention, and the entry point the CGI runner calls.
#pragma once

#include <string>

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

// The one line a GET carrying a changing command is answered with (405).
constexpr const char* kGetRefusal = "only a POST may change settings; nothing was done";

// Writes the header, probes the model flag and walks the command list; a
// GET that carries any command but the reports is refused whole.
int cgiMain();

// The 1-based place in the command list of the command with this submit
// field and radio group (nullptr for a command without one); 0 when there
// is none. Clients send their commands in this order.
int commandOrder(const char* submit, const char* radio);
