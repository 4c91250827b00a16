#include "support/fuzz_root.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "dispatch/cgic.h"
#include "settings/settings.h"

namespace fs = std::filesystem;

namespace fuzzing {
namespace {

std::string g_dir;

void removeRoot() {
    std::error_code ec;
    if (!g_dir.empty()) fs::remove_all(g_dir, ec);
}

// Behind the in-process commands below, a "sync" or "reboot" that still
// reaches a shell finds the "true" program under that name.
void installStub(const std::string& bin, const char* name) {
    const char* truth = fs::exists("/bin/true") ? "/bin/true" : "/usr/bin/true";
    fs::create_symlink(truth, bin + "/" + name);
}

}  // namespace

void enterRoot() {
    if (!g_dir.empty()) return;
    std::string tmpl = (fs::temp_directory_path() / "webcfg-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_dir = tmpl;
    std::atexit(removeRoot);
    fs::create_directories(g_dir + "/root/mnt/wifi");
    fs::create_directories(g_dir + "/root/tmp");
    fs::create_directories(g_dir + "/bin");
    installStub(g_dir + "/bin", "sync");
    installStub(g_dir + "/bin", "reboot");
    const char* path = std::getenv("PATH");
    ::setenv("PATH", (g_dir + "/bin:" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    fs::current_path(g_dir + "/root");

    std::fflush(stdout);
    int fd = ::open((g_dir + "/reply").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) {
        std::perror("reply file");
        std::abort();
    }
    ::close(fd);
}

void put(const char* path, const std::string& content) {
    std::error_code ec;
    fs::remove_all(g_dir + "/root" + path, ec);
    std::ofstream(g_dir + "/root" + path, std::ios::binary | std::ios::trunc) << content;
}

void putDirectory(const char* path) {
    std::error_code ec;
    fs::remove_all(g_dir + "/root" + path, ec);
    fs::create_directories(g_dir + "/root" + path);
}

void remove(const char* path) {
    std::error_code ec;
    fs::remove_all(g_dir + "/root" + path, ec);
}

std::optional<std::string> get(const char* path) {
    std::ifstream f(g_dir + "/root" + path, std::ios::binary);
    if (!f) return std::nullopt;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void startRequest() {
    settings::record() = settings::SettingsRecord{};
    settings::clearPendingLine();
    form::install({});
}

void startOutput() {
    std::fflush(stdout);
    if (::ftruncate(STDOUT_FILENO, 0) != 0 || ::lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) {
        std::perror("reply file");
        std::abort();
    }
}

std::string output() {
    std::fflush(stdout);
    std::string out;
    char chunk[4096];
    off_t at = 0;
    ssize_t n;
    while ((n = ::pread(STDOUT_FILENO, chunk, sizeof chunk, at)) > 0) {
        out.append(chunk, static_cast<std::size_t>(n));
        at += n;
    }
    return out;
}

std::string text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

std::string takeLine(std::string& text) {
    std::size_t nl = text.find('\n');
    std::string line = text.substr(0, nl);
    text = nl == std::string::npos ? std::string() : text.substr(nl + 1);
    return line;
}

std::vector<std::optional<std::string>> sections(const std::string& text, std::size_t count) {
    std::vector<std::optional<std::string>> parts(count);
    std::size_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t sep = i + 1 < count ? text.find('\x1e', start) : std::string::npos;
        parts[i] = text.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    return parts;
}

long number(const std::string& text, long low, long high, long fallback) {
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return fallback;
    bool negative = text[i] == '-';
    if (negative) ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return fallback;
    long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (n < high + 1) n = n * 10 + (text[i] - '0');
    if (negative) n = -n;
    return n < low ? low : n > high ? high : n;
}

void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "\nproperty broken: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

}  // namespace fuzzing

namespace {

// Splits a command text at blanks; false when it holds anything a shell
// would interpret beyond plain words and one "> file".
bool plainWords(const std::string& command, std::vector<std::string>& words) {
    if (command.find_first_of("\'\"`$*?[]{}()<|;&~\\\t\n") != std::string::npos) return false;
    std::size_t start = 0;
    while ((start = command.find_first_not_of(' ', start)) != std::string::npos) {
        std::size_t end = command.find(' ', start);
        words.push_back(command.substr(start, end == std::string::npos ? end : end - start));
        start = end;
    }
    return !words.empty();
}

bool writeText(const std::string& path, const std::string& text, bool truncate) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0), 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return (::close(fd) == 0) && ok;
}

}  // namespace

// Starting a shell costs milliseconds here, more than everything else a run
// does. The few commands the program runs ("sync", "reboot", "touch FILE",
// "echo DIGIT > FILE", "cp -f FROM TO") are done in the process with the
// effect the shell would have, so the targets run at parsing speed; any
// other command goes to the real system(), with the stubs first on PATH.
extern "C" int system(const char* command) {
    std::vector<std::string> w;
    if (command && plainWords(command, w)) {
        if (w.size() == 1 && (w[0] == "sync" || w[0] == "reboot")) return 0;
        if (w.size() == 2 && w[0] == "touch") return writeText(w[1], "", false) ? 0 : 256;
        if (w.size() == 4 && w[0] == "echo" && w[2] == ">")
            return writeText(w[3], w[1] + "\n", true) ? 0 : 256;
        if (w.size() == 4 && w[0] == "cp" && w[1] == "-f") {
            std::error_code ec;
            fs::copy_file(w[2], w[3], fs::copy_options::overwrite_existing, ec);
            return ec ? 256 : 0;
        }
    }
    using System = int (*)(const char*);
    static const System real = reinterpret_cast<System>(::dlsym(RTLD_NEXT, "system"));
    return real(command);
}
