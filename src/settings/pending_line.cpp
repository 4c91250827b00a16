#include "settings/settings.h"

namespace settings {
namespace {
std::string g_pendingLine;
}  // namespace

const std::string& pendingLine() { return g_pendingLine; }

bool setPendingLine(const std::string& line) {
    if (line.size() > kPendingLineMax) return false;
    g_pendingLine = line;
    return true;
}

void clearPendingLine() { g_pendingLine.clear(); }

}  // namespace settings
