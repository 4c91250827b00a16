// Audit log: one syslog line per command that acted, saying who (the login
// the web server passed and the client address), which submit field, which
// settings with their new values, and the outcome. Sent as one datagram to
// the system log socket without waiting: a missing or full receiver drops
// the line, and nothing here ever changes the reply.
#pragma once

#include <string>

#include "platform/fields.h"

namespace audit {

// Opens the record of one command; the form fields it reads from now on
// are its settings.
void begin(const char* submit);

// A setting the running command reads from the form; nullptr when the
// form has no such field. Outside a record it is ignored.
void fieldRead(const char* name, const std::string* value);

// Marks the records from now on as parts of one change set (the revision
// it was applied to); empty for a form post.
void setChangeSet(const std::string& tag);

// Closes the record with the command's outcome and sends its line, unless
// the command read settings and found none of them in the form (then it
// did nothing). A refusal logs the settings by name only.
void end(const Outcome& outcome);

// One line that is not a command's: what became of a change set, or of
// the journal of one. A warning when nothing or not all was done.
void event(bool warning, const std::string& what);

// A request that acted on nothing because another held the settings: one
// "busy" line for each distinct submit field.
void busy(const char* submit);

// The value as logged: pass phrases and the stream key of an RTMP address
// replaced by "***", anything that could break the line escaped.
std::string loggedValue(const std::string& name, const std::string& value);

}  // namespace audit
