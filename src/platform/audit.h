// Audit log: one syslog line per command that acted, saying who (the login
// the web server passed and the client address), which submit field, which
// settings with their new values, and the outcome. Sent as one datagram to
// the system log socket without waiting: a missing or full receiver drops
// the line, and nothing here ever changes the reply.
#pragma once

#include <string>

namespace audit {

// Opens the record of one command; the form fields it reads from now on
// are its settings.
void begin(const char* submit);

// A setting the running command reads from the form; nullptr when the
// form has no such field. Outside a record it is ignored.
void fieldRead(const char* name, const std::string* value);

// The running command refused its input with this reply text ("error len",
// "input empty", ...): its settings are logged by name only.
void refused(const char* text);

// The running command could not do its work: the outcome is this text.
void failed(const char* text);

// Closes the record and sends its line, unless the command read settings
// and found none of them in the form (then it did nothing).
void end();

// A request that acted on nothing because another held the settings: one
// "busy" line for each distinct submit field.
void busy(const char* submit);

// The value as logged: pass phrases and the stream key of an RTMP address
// replaced by "***", anything that could break the line escaped.
std::string loggedValue(const std::string& name, const std::string& value);

}  // namespace audit
