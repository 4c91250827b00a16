#include "settings/settings.h"

namespace settings {
namespace {
SettingsRecord g_record;
std::string g_pendingLine;
bool g_colourKeysHeld = false;
}  // namespace

SettingsRecord& record() { return g_record; }

const std::string& pendingLine() { return g_pendingLine; }

bool setPendingLine(const std::string& line) {
    if (line.size() > kPendingLineMax) return false;
    g_pendingLine = line;
    return true;
}

void clearPendingLine() { g_pendingLine.clear(); }

void holdColourKeys(bool held) { g_colourKeysHeld = held; }

void applyPendingLine() {
    const std::string line = g_pendingLine;
    parseSettingsText(line, line.size(), g_colourKeysHeld ? ColourKeys::Skip : ColourKeys::Apply);
}

}  // namespace settings
