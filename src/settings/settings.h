// The settings record of the boot-script header and the Wi-Fi files, the
// pending change line that carries one change to the operation applying
// it, and the key scanner that reads assignments into the record.
#pragma once

#include <cstddef>
#include <string>

namespace settings {

// The pending change line holds at most this many characters.
constexpr std::size_t kPendingLineMax = 255;

// The line left by the last command of this request (empty at start).
const std::string& pendingLine();

// Stores a line; false, leaving the old line, when it is longer than
// kPendingLineMax.
bool setPendingLine(const std::string& line);

void clearPendingLine();

}  // namespace settings
