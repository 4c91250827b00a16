// The device's state as one JSON document, its schema, and the read-only
// CGI program that serves both.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace state {

// Version of the document's layout; a client compares it before relying
// on the layout.
constexpr int kDocumentVersion = 1;

// The whole document: settings grouped as the pages group them, what the
// device detects or is, the template the boot script came from, whether a
// change waits for a restart, and the files that could not be read. The
// Wi-Fi pass phrase only with secrets. Reads files only.
nlohmann::json document(bool secrets);

// The revision of everything the document reads: every file's presence and
// bytes, the start-up files' modification times and the boot time (which
// decide reboot_pending). Any change, by either program or by hand, gives
// another; an unchanged device the same one. 16 hexadecimal digits.
std::string revision();

// The settings files the commands write: every file the device reads when
// it starts (appliance paths).
std::vector<std::string> settingsFiles();

// JSON Schema (draft 2020-12) of the document's "settings", with how to
// change each setting through the settings program ("x-form").
nlohmann::json settingsSchema();

// The state program: answers one CGI request on standard output.
int run();

// How long a client should wait before asking again after a busy answer.
constexpr int kRetryAfterSeconds = 2;

// Writes a whole JSON answer: the Status line (none for a plain 200), the
// JSON and no-store headers, any further header lines (each ending in
// CRLF), and the body on one line.
void reply(const char* status, const std::string& extraHeaders, const nlohmann::json& body);

// Whether an If-Match or If-None-Match list ("*", or entity tags separated
// by commas) names this tag; weakToo: a W/ tag counts as its strong form
// (If-None-Match compares weakly, If-Match strongly).
bool listNamesTag(const std::string& list, const std::string& tag, bool weakToo);

// A whole answer of one JSON line {"error": message}.
void fail(const char* status, const std::string& extraHeaders, const std::string& message);

}  // namespace state
