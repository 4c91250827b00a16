// The request dispatcher: the command list, walked for a form post or a
// change set, and the entry point the CGI runner calls.
#pragma once

#include <string>
#include <vector>

#include "platform/fields.h"

// The one line a GET carrying a changing command is answered with (405).
constexpr const char* kGetRefusal = "only a POST may change settings; nothing was done";

// Writes the header, probes the model flag and walks the command list; a
// GET that carries any command but the reports is refused whole.
int cgiMain();

// The 1-based place in the command list of the command with this submit
// field and radio group (nullptr for a command without one); 0 when there
// is none. Clients send their commands in this order.
int commandOrder(const char* submit, const char* radio);

// A command that ran over the installed fields, and what came of it.
struct CommandRun {
    const char* submit;
    const char* radio;
    Outcome outcome;
};

// Walks the command list over the installed fields, in its order, logging
// each command that may change something. Stops after a command that ends
// the request (a settings file it cannot write) and, with stopAtProblem,
// after the first that refused or failed.
std::vector<CommandRun> runCommands(bool stopAtProblem);
