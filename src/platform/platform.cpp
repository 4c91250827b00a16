#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
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

void shellTouch(const char* appliancePath) { runShell("touch " + shellPath(appliancePath)); }

void shellEcho(int digit, const char* appliancePath) {
    runShell("echo " + std::to_string(digit) + " > " + shellPath(appliancePath));
}

void shellSync() { runShell("sync"); }

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

namespace {

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool replaceFile(const char* appliancePath, const std::string& text) {
    const std::string target = path(appliancePath);
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = dir + "/." + name + ".XXXXXX";

    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode)) return false;

    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    if (ok && hadOld) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        // Only root may give a file away; the mode is what matters most.
        if (ok && ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) ok = false;
    } else if (ok) {
        ok = ::fchmod(fd, 0644) == 0;
    }
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void probeModelFlag() { g_modelFlag = canOpen("/mnt/mk250.ini"); }

bool modelFlag() { return g_modelFlag; }

}  // namespace platform
