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

}  // namespace state
