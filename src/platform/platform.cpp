#include "platform/platform.h"
#include "platform/journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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

bool runShell(const std::string& command) {
    std::fflush(stdout);
    return std::system(command.c_str()) == 0;
}

void shellTouch(const char* appliancePath) {
    if (journalCovers(appliancePath)) runShell("touch " + shellPath(appliancePath));
}

bool shellEcho(int digit, const char* appliancePath) {
    if (!journalCovers(appliancePath)) return false;
    return runShell("echo " + std::to_string(digit) + " > " + shellPath(appliancePath));
}

// Under a journal the set flushes everything once at its end.
void shellSync() {
    if (!journalOpen()) runShell("sync");
}

std::optional<std::string> readFile(const char* appliancePath, std::size_t maxBytes) {
    // Plain system calls: a request reads some thirty small files, and a
    // stdio stream would allocate and free a buffer for each.
    int fd = ::open(path(appliancePath).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char chunk[4096];
    while (text.size() < maxBytes) {
        std::size_t want = std::min(sizeof chunk, maxBytes - text.size());
        ssize_t got = ::read(fd, chunk, want);
        if (got < 0 && errno == EINTR) continue;
        // A directory opens for reading but cannot be read: not a readable file.
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

FileValue<char> readFirstByte(const char* appliancePath) {
    FileValue<char> read;
    std::optional<std::string> text = readFile(appliancePath, 1);
    read.exists = text.has_value();
    if (text && !text->empty()) read.value = (*text)[0];
    return read;
}

FileValue<int> readFirstInt(const char* appliancePath) {
    FileValue<int> read;
    std::optional<std::string> text = readFile(appliancePath, kValueFileMaxBytes);
    read.exists = text.has_value();
    std::size_t pos = 0;
    int value = 0;
    if (text && scanInt(*text, pos, value)) read.value = value;
    return read;
}

bool canOpen(const char* appliancePath) {
    std::FILE* f = std::fopen(path(appliancePath).c_str(), "r");
    if (!f) return false;
    std::fclose(f);
    return true;
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

bool writeFile(const char* appliancePath, const std::string& text, unsigned newFileMode) {
    // A change set may only write what its journal can put back.
    if (!journalCovers(appliancePath)) return false;
    const bool flushNow = !journalOpen();
    std::string target = path(appliancePath);
    struct stat link {};
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(target.c_str(), nullptr);
        if (!resolved) return false;
        target = resolved;
        std::free(resolved);
    }
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // One fixed name per target: every write happens under the request lock,
    // so a temporary file left by a killed write is simply replaced by the
    // next one instead of piling up.
    const std::string temp = dir + "/." + name + kTemporarySuffix;

    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;
    if (hadOld && !S_ISREG(old.st_mode)) return false;

    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = writeAll(fd, text) && (!flushNow || ::fsync(fd) == 0);
    if (ok && hadOld) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        // Only root may give a file away; the mode is what matters most.
        if (ok && ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) ok = false;
    } else if (ok) {
        ok = ::fchmod(fd, static_cast<mode_t>(newFileMode & 07777)) == 0;
    }
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    int dirFd = flushNow ? ::open(dir.c_str(), O_RDONLY | O_DIRECTORY) : -1;
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool copyFile(const char* fromAppliancePath, const char* toAppliancePath) {
    std::optional<std::string> content = readFile(fromAppliancePath);
    struct stat from {};
    if (!content || ::stat(path(fromAppliancePath).c_str(), &from) != 0 || !S_ISREG(from.st_mode))
        return false;
    return writeFile(toAppliancePath, *content, from.st_mode & 07777);
}

std::optional<std::vector<std::string>> regularFiles(const char* applianceDirectory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path(applianceDirectory).c_str());
    if (!dir) return std::nullopt;
    // readdir ends a listing and reports a failure (EOVERFLOW, EIO) alike:
    // only errno tells them apart.
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            const bool failed = errno != 0;
            ::closedir(dir);
            if (failed) return std::nullopt;
            break;
        }
        // As the shell's "*" sees them: no hidden files.
        if (entry->d_name[0] == '.') continue;
        std::string full = path(applianceDirectory) + "/" + entry->d_name;
        struct stat st {};
        if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(entry->d_name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Long enough for a queue of rewrites, short enough for a browser.
constexpr int kLockWaitMilliseconds = 10000;
constexpr int kLockRetryMilliseconds = 10;

bool takeLock(int fd, int operation) {
    for (int waited = 0; ::flock(fd, operation | LOCK_NB) != 0; waited += kLockRetryMilliseconds) {
        if (errno != EWOULDBLOCK && errno != EINTR) return true;
        if (waited >= kLockWaitMilliseconds) return false;
        ::usleep(kLockRetryMilliseconds * 1000);
    }
    return true;
}

}  // namespace

int g_lockFd = -1;

Lock lockSettings(LockMode mode) {
    unlockSettings();
    int fd = ::open(path("/mnt").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Lock::Held;  // no settings to protect; commands report their files
    if (!takeLock(fd, mode == LockMode::Shared ? LOCK_SH : LOCK_EX)) {
        ::close(fd);
        return Lock::Busy;
    }
    // An unfinished change set is undone before anyone reads or writes,
    // and only under the exclusive lock.
    if (journalLeftBehind()) {
        // Two readers that both held it shared would wait for each other
        // to upgrade: let go first.
        if (mode == LockMode::Shared && (::flock(fd, LOCK_UN) != 0 || !takeLock(fd, LOCK_EX))) {
            ::close(fd);
            return Lock::Busy;
        }
        if (recoverJournal() == Recovery::Failed) {
            ::close(fd);
            return Lock::Unrecovered;
        }
        if (mode == LockMode::Shared) takeLock(fd, LOCK_SH);
    }
    g_lockFd = fd;
    return Lock::Held;  // the descriptor stays open, and locked, until the process ends
}

void unlockSettings() {
    if (g_lockFd >= 0) ::close(g_lockFd);
    g_lockFd = -1;
}

void noteChangeInThisBoot() {
    const std::string id = bootId();
    if (id.empty() || readFile(kChangedInBootPath, kValueFileMaxBytes) == id + "\n") return;
    writeFile(kChangedInBootPath, id + "\n", 0600);
}

void ignoreClosedOutput() { ::signal(SIGPIPE, SIG_IGN); }

namespace {

sigset_t terminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

SignalHold::SignalHold() {
    sigset_t set = terminationSignals();
    held_ = ::sigprocmask(SIG_BLOCK, &set, nullptr) == 0;
}

SignalHold::~SignalHold() {
    std::fflush(stdout);
    if (!held_) return;
    sigset_t set = terminationSignals();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

std::optional<long long> modificationTime(const char* appliancePath) {
    struct stat st {};
    if (::stat(path(appliancePath).c_str(), &st) != 0) return std::nullopt;
    return static_cast<long long>(st.st_mtime);
}

std::optional<long long> bootTime() {
    // The btime line follows a line per CPU and the interrupt counters.
    constexpr std::size_t kProcStatMaxBytes = 65536;
    // More digits than this would overflow: not a time.
    constexpr std::size_t kSecondsMaxDigits = 18;
    // Under the root like every other path, so a test or a simulated
    // device can say when it started.
    std::optional<std::string> stat = readFile("/proc/stat", kProcStatMaxBytes);
    if (!stat) return std::nullopt;
    const std::string text = "\n" + *stat;  // so the first line starts like the others
    const std::size_t at = text.find("\nbtime ");
    if (at == std::string::npos) return std::nullopt;
    const std::size_t begin = at + 7;
    std::size_t end = begin;
    long long seconds = 0;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        if (end - begin == kSecondsMaxDigits) return std::nullopt;
        seconds = seconds * 10 + (text[end++] - '0');
    }
    if (end == begin) return std::nullopt;
    return seconds;
}

std::string bootId() {
    constexpr std::size_t kBootIdMaxBytes = 64;
    std::optional<std::string> text = readFile("/proc/sys/kernel/random/boot_id", kBootIdMaxBytes);
    if (!text) return "";
    std::string id;
    for (char c : *text)
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-') id += c;
        else break;
    return id;
}

std::optional<long long> uptimeSeconds() {
    constexpr std::size_t kUptimeMaxBytes = 64;
    std::optional<std::string> text = readFile("/proc/uptime", kUptimeMaxBytes);
    if (!text || text->empty() || (*text)[0] < '0' || (*text)[0] > '9') return std::nullopt;
    long long seconds = 0;
    for (std::size_t i = 0; i < text->size() && (*text)[i] >= '0' && (*text)[i] <= '9' && i < 15; ++i)
        seconds = seconds * 10 + ((*text)[i] - '0');
    return seconds;
}

void probeModelFlag() { g_modelFlag = canOpen("/mnt/mk250.ini"); }

bool modelFlag() { return g_modelFlag; }

bool nextUtf8(const std::string& text, std::size_t& i, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                         : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return false;
        point = point << 6 | (byte(i + k) & 0x3F);
    }
    static const std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return false;
    codePoint = point;
    i += length;
    return true;
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace platform
