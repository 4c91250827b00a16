#include "settings/settings.h"

namespace settings {
namespace {
SettingsRecord g_record;
std::string g_pendingLine;
}  // namespace

SettingsRecord& record() { return g_record; }

const std::string& pendingLine() { return g_pendingLine; }

bool setPendingLine(const std::string& line) {
    if (line.size() > kPendingLineMax) return false;
    g_pendingLine = line;
    return true;
}

void clearPendingLine() { g_pendingLine.clear(); }

}  // namespace settings
