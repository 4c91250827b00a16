#include "platform/platform.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

extern const char kApplianceRoot[];

namespace {

bool g_modelFlag = false;

bool isShellSafe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '/' || c == '.' || c == '_' || c == '-' || c == '+' || c == ',';
}

}  // namespace

const std::string& root() {
    static const std::string r(kApplianceRoot);
    return r;
}

std::string path(const char* appliancePath) { return root() + appliancePath; }

std::string shellPath(const char* appliancePath) {
    const std::string& r = root();
    bool safe = true;
    for (char c : r) safe = safe && isShellSafe(c);
    if (safe) return r + appliancePath;
    std::string quoted = "'";
    for (char c : r) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += "'";
    return quoted + appliancePath;
}

void runShell(const std::string& command) {
    std::fflush(stdout);
    int ignored = std::system(command.c_str());
    (void)ignored;
}

std::optional<std::string> readFile(const char* appliancePath, std::size_t maxBytes) {
    std::FILE* f = std::fopen(path(appliancePath).c_str(), "r");
    if (!f) return std::nullopt;
    std::string text;
    char chunk[4096];
    while (text.size() < maxBytes) {
        std::size_t want = std::min(sizeof chunk, maxBytes - text.size());
        std::size_t got = std::fread(chunk, 1, want, f);
        text.append(chunk, got);
        if (got < want) break;
    }
    // A directory opens for reading but yields nothing: not a readable file.
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return text;
}

bool canOpen(const char* appliancePath) {
    std::FILE* f = std::fopen(path(appliancePath).c_str(), "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

bool writeFile(const char* appliancePath, const std::string& text) {
    std::FILE* f = std::fopen(path(appliancePath).c_str(), "w");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Sign and digits at pos; false when no digit follows the optional sign.
bool readNumber(const std::string& text, std::size_t& pos, int& value) {
    std::size_t p = pos;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
    if (p >= text.size() || text[p] < '0' || text[p] > '9') return false;
    long long n = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
        n = n * 10 + (text[p++] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) n = -n;
    value = static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
    pos = p;
    return true;
}

}  // namespace

int atoiValue(const std::string& text, std::size_t pos) {
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    int value = 0;
    return readNumber(text, pos, value) ? value : 0;
}

bool scanInt(const std::string& text, std::size_t& pos, int& value) {
    std::size_t p = pos;
    while (p < text.size() && isSpace(text[p])) ++p;
    if (!readNumber(text, p, value)) return false;
    pos = p;
    return true;
}

void probeModelFlag() { g_modelFlag = canOpen("/mnt/mk250.ini"); }

bool modelFlag() { return g_modelFlag; }

}  // namespace platform
