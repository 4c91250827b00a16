// The journal is one file, replaced whole like every settings file, so it
// is either all there or not there. Its text:
//   webcfg journal 1
//   file <1 if it existed, else 0> <mode in octal> <bytes> <path>
//   <that many bytes of content>
//   ... one "file" entry per saved file ...
//   end <number of entries>
#include "platform/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <set>

#include "platform/audit.h"
#include "platform/platform.h"

namespace platform {
namespace {

constexpr const char* kMagic = "webcfg journal 1\n";

bool g_open = false;
std::vector<std::string> g_paths;

std::string encode(const std::vector<SavedFile>& entries) { return kMagic + encodeFiles(entries); }

std::optional<std::vector<SavedFile>> decode(const std::string& text) {
    if (text.compare(0, std::strlen(kMagic), kMagic) != 0) return std::nullopt;
    std::size_t at = std::strlen(kMagic);
    std::optional<std::vector<SavedFile>> files = decodeFiles(text, at);
    if (!files || at != text.size()) return std::nullopt;
    return files;
}

// The temporary file a whole-file write of this (host) path uses.
std::string temporaryOf(const std::string& full) {
    const std::size_t slash = full.rfind('/');
    return full.substr(0, slash + 1) + "." + full.substr(slash + 1) + kTemporarySuffix;
}

void flushDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// One flush per file system that holds a saved file, instead of one per
// write: what makes a set cheaper than the same commands one post at a time.
bool flushFileSystems(const std::vector<std::string>& appliancePaths) {
    std::set<dev_t> flushed;
    bool ok = true;
    for (const std::string& p : appliancePaths) {
        const std::string full = path(p.c_str());
        const std::string dir = full.substr(0, full.rfind('/'));
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !flushed.insert(st.st_dev).second) continue;
        int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        ok = ::syncfs(fd) == 0 && ok;
        ::close(fd);
    }
    return ok;
}

bool removeJournal() { return removeSaved(kJournalPath); }

}  // namespace

std::optional<std::vector<SavedFile>> saveFiles(const std::vector<std::string>& appliancePaths) {
    std::vector<SavedFile> entries;
    for (const std::string& p : appliancePaths) {
        SavedFile e;
        e.path = p;
        struct stat st {};
        if (::stat(path(p.c_str()).c_str(), &st) == 0) {
            std::optional<std::string> content = readFile(p.c_str());
            // A file that exists but cannot be read cannot be put back.
            if (!content || !S_ISREG(st.st_mode)) return std::nullopt;
            e.existed = true;
            e.mode = st.st_mode & 07777;
            e.content = std::move(*content);
        } else if (errno != ENOENT) {
            return std::nullopt;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

std::string encodeFiles(const std::vector<SavedFile>& files) {
    std::string text;
    for (const SavedFile& e : files) {
        char head[64];
        std::snprintf(head, sizeof head, "file %d %o %zu ", e.existed ? 1 : 0, e.mode, e.content.size());
        text += head + e.path + "\n" + e.content + "\n";
    }
    return text + "end " + std::to_string(files.size()) + "\n";
}

std::optional<std::vector<SavedFile>> decodeFiles(const std::string& text, std::size_t& at) {
    std::vector<SavedFile> entries;
    while (text.compare(at, 5, "file ") == 0) {
        const std::size_t eol = text.find('\n', at);
        if (eol == std::string::npos) return std::nullopt;
        int existed = -1, used = 0;
        unsigned mode = 0;
        unsigned long long bytes = 0;
        const std::string line = text.substr(at, eol - at);
        if (std::sscanf(line.c_str(), "file %d %o %llu %n", &existed, &mode, &bytes, &used) != 3 ||
            (existed != 0 && existed != 1) || used == 0 || static_cast<std::size_t>(used) >= line.size() ||
            mode > 07777 || bytes > text.size() - eol - 1 || text.size() - eol - 1 - bytes < 1 ||
            text[eol + 1 + bytes] != '\n')
            return std::nullopt;
        SavedFile e;
        e.existed = existed == 1;
        e.mode = mode;
        e.path = line.substr(static_cast<std::size_t>(used));
        if (e.path.compare(0, 5, "/mnt/") != 0) return std::nullopt;  // only settings are ever saved
        e.content = text.substr(eol + 1, bytes);
        entries.push_back(std::move(e));
        at = eol + 1 + bytes + 1;
    }
    const std::string end = "end " + std::to_string(entries.size()) + "\n";
    if (text.compare(at, end.size(), end) != 0) return std::nullopt;
    at += end.size();
    return entries;
}

bool putBack(const SavedFile& e) {
    const std::string full = path(e.path.c_str());
    // A write that was killed leaves its temporary file beside the target.
    ::unlink(temporaryOf(full).c_str());
    if (!e.existed) {
        struct stat st {};
        if (::lstat(full.c_str(), &st) != 0) return errno == ENOENT;
        return ::unlink(full.c_str()) == 0;
    }
    std::optional<std::string> now = readFile(e.path.c_str());
    struct stat st {};
    const bool sameMode = ::stat(full.c_str(), &st) == 0 && (st.st_mode & 07777) == e.mode;
    if (now && *now == e.content && sameMode) return true;
    if (!writeFile(e.path.c_str(), e.content, e.mode)) return false;
    return ::chmod(full.c_str(), static_cast<mode_t>(e.mode)) == 0;
}

bool removeSaved(const char* appliancePath) {
    const std::string full = path(appliancePath);
    if (::unlink(full.c_str()) != 0 && errno != ENOENT) return false;
    flushDirectory(full.substr(0, full.rfind('/')));
    return true;
}

bool beginJournal(const std::vector<std::string>& appliancePaths) {
    std::optional<std::vector<SavedFile>> entries = saveFiles(appliancePaths);
    if (!entries) return false;
    if (!writeFile(kJournalPath, encode(*entries), 0600)) return false;
    g_paths = appliancePaths;
    g_open = true;
    return true;
}

bool commitJournal() {
    g_open = false;
    if (!flushFileSystems(g_paths)) return false;
    return removeJournal();
}

bool journalLeftBehind() {
    return ::access(path(kJournalPath).c_str(), F_OK) == 0 ||
           ::access(temporaryOf(path(kJournalPath)).c_str(), F_OK) == 0;
}

Recovery recoverJournal(bool logged) {
    g_open = false;
    // A journal whose writing was cut short never began a set.
    ::unlink(temporaryOf(path(kJournalPath)).c_str());
    std::optional<std::string> text = readFile(kJournalPath);
    if (!text) return Recovery::None;
    std::optional<std::vector<SavedFile>> entries = decode(*text);
    if (!entries) {
        ::rename(path(kJournalPath).c_str(), path(kUnreadableJournalPath).c_str());
        flushDirectory(path("/mnt"));
        audit::event(true, "journal: cannot be read, set aside as " + std::string(kUnreadableJournalPath) +
                               "; no file was put back");
        return Recovery::Unreadable;
    }
    std::vector<std::string> paths;
    for (const SavedFile& e : *entries) {
        if (!putBack(e)) {
            audit::event(true, "journal: cannot put back " + e.path + "; the change set is not undone yet");
            return Recovery::Failed;
        }
        paths.push_back(e.path);
    }
    if (!flushFileSystems(paths) || !removeJournal()) return Recovery::Failed;
    if (logged) audit::event(true, "journal: an unfinished change set was undone, every file put back");
    return Recovery::Restored;
}

bool journalOpen() { return g_open; }

bool journalCovers(const char* appliancePath) {
    if (!g_open) return true;
    for (const std::string& p : g_paths)
        if (p == appliancePath) return true;
    return false;
}

}  // namespace platform
