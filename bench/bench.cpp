// Per-request cost of the CGI program, measured the way a web server pays
// it: one process per request, started with the CGI variables and the body
// on standard input. For each request kind it prints, as one Markdown table:
//   - median wall time over the timed runs, and its ratio to the floor (a
//     static C program that only prints the reply header): every round runs
//     the floor and then each request once, and the ratio is the median of
//     the per-round ratios, so that load on a shared machine, which drifts
//     over seconds, cancels out;
//   - instructions of the CGI process itself (callgrind; the shell commands
//     it starts run untraced);
//   - peak resident memory of the CGI process itself (VmHWM, read while the
//     process stops at its exit under ptrace);
//   - the share of wall time spent in the shell commands it starts (the time
//     inside system(), under ptrace, in separate runs so that tracing never
//     slows the timed ones);
// then the stripped sizes of the executables named with --size.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Reference rows (the floor, the dynamically linked build) are measured for
// comparison and are not held to the goals.
enum class Role { Floor, Reference, NoField, Status, Rewrite, State, Set, FiveSet, FivePosts, Other };

struct Kind {
    const char* label;
    Role role;
    const char* method;
    std::string form;  // query string for GET, body for POST
    bool dynamicLink = false;
    bool stateProgram = false;  // the state program instead of the settings one
    const char* contentType = "application/x-www-form-urlencoded";
    // A row that changes values takes turns between two sets of them, so
    // that no run finds its values already stored; a row of several posts
    // times them together as one run.
    std::vector<std::string> posts = {};      // instead of form: these, one after another
    std::vector<std::string> otherTurn = {};  // the posts (or the one form) of every other run
};

struct Options {
    fs::path work, seed, program, dynamicProgram, stateProgram, floor;
    std::vector<std::pair<std::string, fs::path>> sizes;
    int runs = 60;
    int traced = 15;
    int warmup = 3;
    bool realSync = false;
};

struct Row {
    const Kind* kind;
    fs::path program;
    fs::path root;
    std::vector<double> wallMs;
    long long instructions = -1;
    long hwmKiB = -1;
    double shellShare = 0;
    std::string reply;
    int turn = 0;
};

// The request bodies of the row's next run, turn by turn.
std::vector<std::string> nextBodies(Row& row) {
    const Kind& k = *row.kind;
    const bool other = !k.otherTurn.empty() && (row.turn++ % 2 == 1);
    if (other) return k.otherTurn;
    return k.posts.empty() ? std::vector<std::string>{k.form} : k.posts;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "webcfg-bench: %s\n", what.c_str());
    std::exit(1);
}

std::string urlencode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::vector<Kind> requestKinds() {
    // "Welcome to this live channel" in UTF-8, as the browser posts it.
    const std::string caption =
        "\xe6\xac\xa2\xe8\xbf\x8e\xe5\x85\x89\xe4\xb8\xb4\xe6\x9c\xac\xe7\x9b\xb4\xe6\x92\xad"
        "\xe9\x97\xb4";
    return {
        {"floor: static C program, header only", Role::Floor, "GET", "page=status"},
        {"no known field", Role::NoField, "GET", "page=status"},
        {"status report (name44_submit)", Role::Status, "POST", "name44_submit=Status"},
        {"boot-script rewrite (name3_submit, bitrate)", Role::Rewrite, "POST",
         "bitrate=4000000&name3_submit=Apply"},
        {"overlay move (mg_xy)", Role::Other, "POST", "mg_x=120&mg_y=80&mg_xy=Apply"},
        {"subtitle set, Chinese text (sub_submit)", Role::Other, "POST",
         "sub_text=" + urlencode(caption) + "&sub_submit=Apply"},
        {"subtitle report (sub_v)", Role::Other, "POST", "sub_v=Report"},
        {"codec form, five groups (codec_submit)", Role::Other, "POST",
         "selvs=male&ctrlaz=male&ctrlez=female&ctrlbz=male&audioin=male&codec_submit=Apply"},
        {"state document (state.cgi)", Role::State, "GET", "", false, true},
        {"change set, one setting (state.cgi)", Role::Set, "POST",
         R"({"settings": {"encoder": {"bitrate": 4000000}}})", false, true, "application/json", {},
         {R"({"settings": {"encoder": {"bitrate": 4000008}}})"}},
        {"change set, five header settings (state.cgi)", Role::FiveSet, "POST",
         R"({"settings": {"encoder": {"bitrate": 4000000, "framerate": 30, "iframe_interval": 50},)"
         R"( "audio": {"sample_rate": 48000, "bitrate": 128000}}})",
         false, true, "application/json", {},
         {R"({"settings": {"encoder": {"bitrate": 4000008, "framerate": 25, "iframe_interval": 60},)"
          R"( "audio": {"sample_rate": 44100, "bitrate": 96000}}})"}},
        {"the same five settings as five form posts", Role::FivePosts, "POST", "", false, false,
         "application/x-www-form-urlencoded",
         {"bitrate=4000000&name3_submit=Apply", "audiosample=48000&name_audio_submit=Apply",
          "audiobitrate=128000&name_audio2_submit=Apply", "framerate=30&name4_submit=Apply",
          "fi=50&namei_submit=Apply"},
         {"bitrate=4000008&name3_submit=Apply", "audiosample=44100&name_audio_submit=Apply",
          "audiobitrate=96000&name_audio2_submit=Apply", "framerate=25&name4_submit=Apply",
          "fi=60&namei_submit=Apply"}},
        {"no known field, dynamically linked build", Role::Reference, "GET", "page=status", true},
    };
}

// CGI environment as a web server passes it, plus PATH for the shell.
std::vector<std::string> environmentFor(const Kind& kind, const std::string& body, const fs::path& bin) {
    std::vector<std::string> env = {
        "PATH=" + bin.string() + ":/usr/local/bin:/usr/bin:/bin",
        "GATEWAY_INTERFACE=CGI/1.1",
        "SERVER_PROTOCOL=HTTP/1.1",
        "SERVER_SOFTWARE=webcfg-bench",
        "SCRIPT_NAME=/cgi-bin/webcfg.cgi",
        "REMOTE_ADDR=192.168.18.100",
        std::string("REQUEST_METHOD=") + kind.method,
    };
    if (std::strcmp(kind.method, "GET") == 0) {
        env.push_back("QUERY_STRING=" + kind.form);
    } else {
        env.push_back("QUERY_STRING=");
        env.push_back(std::string("CONTENT_TYPE=") + kind.contentType);
        env.push_back("CONTENT_LENGTH=" + std::to_string(body.size()));
    }
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// Standard input of one request: the body in a pipe (it fits the pipe's
// buffer), or /dev/null for a GET.
int requestInput(const Kind& kind, const std::string& body) {
    if (std::strcmp(kind.method, "GET") == 0) return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) fail("pipe failed");
    if (::write(p[1], body.data(), body.size()) != static_cast<ssize_t>(body.size()))
        fail("cannot fill the request body pipe");
    ::close(p[1]);
    return p[0];
}

double nowMs() {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

class Runner {
public:
    explicit Runner(const Options& o) : options_(o), bin_(o.work / "bin") {}

    // One request through posix_spawn; returns the wall time in ms. When
    // out is given the reply is captured into it.
    double timedRun(Row& row, std::vector<std::string> argv, std::string* out = nullptr,
                    std::string* err = nullptr) {
        double ms = 0;
        for (const std::string& body : nextBodies(row)) ms += timedRequest(row, body, argv, out, err);
        return ms;
    }

    double timedRequest(const Row& row, const std::string& body, std::vector<std::string> argv,
                        std::string* out, std::string* err) {
        std::vector<std::string> env = environmentFor(*row.kind, body, bin_);
        std::vector<char*> envp = pointers(env);
        std::vector<char*> argvp = pointers(argv);
        int in = requestInput(*row.kind, body);
        fs::path outFile = options_.work / "reply.out", errFile = options_.work / "reply.err";
        int outFd = out ? ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                        : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        int errFd = err ? ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                        : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in, 0);
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
        posix_spawn_file_actions_addchdir_np(&actions, row.root.c_str());
        pid_t pid;
        double start = nowMs();
        int rc = ::posix_spawn(&pid, argvp[0], &actions, nullptr, argvp.data(), envp.data());
        if (rc != 0) fail(std::string("cannot start ") + argvp[0] + ": " + std::strerror(rc));
        int status = 0;
        ::waitpid(pid, &status, 0);
        double ms = nowMs() - start;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in);
        ::close(outFd);
        ::close(errFd);
        if (out) *out = slurp(outFile);
        if (err) *err = slurp(errFile);
        return ms;
    }

    // One request under ptrace: peak resident memory of the program at its
    // exit, and the time it spent running its shell commands.
    struct Traced {
        double wallMs = 0, shellMs = 0;
        long hwmKiB = -1;
    };
    Traced tracedRun(Row& row) {
        Traced all;
        for (const std::string& body : nextBodies(row)) {
            const Traced t = tracedRequest(row, body);
            all.wallMs += t.wallMs;
            all.shellMs += t.shellMs;
            all.hwmKiB = std::max(all.hwmKiB, t.hwmKiB);
        }
        return all;
    }

    Traced tracedRequest(const Row& row, const std::string& body) {
        std::vector<std::string> env = environmentFor(*row.kind, body, bin_);
        std::vector<char*> envp = pointers(env);
        std::vector<std::string> argv = {row.program.string()};
        std::vector<char*> argvp = pointers(argv);
        int in = requestInput(*row.kind, body);
        int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        Traced t;
        double start = nowMs();
        pid_t pid = ::fork();
        if (pid < 0) fail("fork failed");
        if (pid == 0) {
            ::dup2(in, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            if (::chdir(row.root.c_str()) != 0) ::_exit(126);
            ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
            ::execve(argvp[0], argvp.data(), envp.data());
            ::_exit(127);
        }
        ::close(in);
        ::close(null);
        int status = 0;
        ::waitpid(pid, &status, 0);  // stopped at its exec
        long opts = PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK | PTRACE_O_TRACECLONE |
                    PTRACE_O_TRACEEXIT | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL;
        ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(opts));
        ::ptrace(PTRACE_CONT, pid, nullptr, nullptr);
        // A shell command's time runs from the program's fork event to the
        // SIGCHLD it takes once system() has reaped the child (system()
        // blocks SIGCHLD until then), or to the child's exit when no such
        // signal comes. Children are traced only for their exit, so what
        // they start runs untraced.
        struct Span {
            double start = 0, exited = -1;
        };
        std::map<pid_t, Span> spans;
        std::set<pid_t> started = {pid};
        auto close = [&](double end) {
            for (auto it = spans.begin(); it != spans.end();) {
                if (it->second.exited < 0) {
                    ++it;
                    continue;
                }
                t.shellMs += (end < 0 ? it->second.exited : end) - it->second.start;
                it = spans.erase(it);
            }
        };
        for (;;) {
            pid_t w = ::waitpid(-1, &status, __WALL);
            if (w < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (WIFEXITED(status) || WIFSIGNALED(status)) {
                if (w == pid) break;
                continue;
            }
            if (!WIFSTOPPED(status)) continue;
            int sig = WSTOPSIG(status);
            int event = status >> 16;
            int deliver = 0;
            if (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK ||
                event == PTRACE_EVENT_CLONE) {
                unsigned long child = 0;
                ::ptrace(PTRACE_GETEVENTMSG, w, nullptr, &child);
                if (w == pid) spans[static_cast<pid_t>(child)].start = nowMs();
            } else if (event == PTRACE_EVENT_EXIT) {
                if (w == pid) {
                    t.hwmKiB = peakResidentKiB(pid);
                } else if (auto it = spans.find(w); it != spans.end()) {
                    it->second.exited = nowMs();
                }
            } else if (event != 0) {
                // exec: nothing to record
            } else if (w != pid && sig == SIGSTOP && started.insert(w).second) {
                // First stop of an auto-attached child: from now on only its
                // exit is reported.
                ::ptrace(PTRACE_SETOPTIONS, w, nullptr,
                         reinterpret_cast<void*>(static_cast<long>(PTRACE_O_TRACEEXIT)));
            } else {
                if (w == pid && sig == SIGCHLD) close(nowMs());
                deliver = sig == SIGTRAP ? 0 : sig;
            }
            ::ptrace(PTRACE_CONT, w, nullptr, reinterpret_cast<void*>(static_cast<long>(deliver)));
        }
        close(-1);
        t.wallMs = nowMs() - start;
        return t;
    }

    long long instructions(Row& row) {
        fs::path log = options_.work / "callgrind.log", out = options_.work / "callgrind.out";
        std::vector<std::string> argv = {valgrind(), "--tool=callgrind", "--trace-children=no",
                                         "--log-file=" + log.string(),
                                         "--callgrind-out-file=" + out.string(),
                                         row.program.string()};
        long long total = 0;
        for (const std::string& body : nextBodies(row)) {
            timedRequest(row, body, argv, nullptr, nullptr);
            std::string text = slurp(log);
            fs::remove(out);
            std::size_t at = text.find("Collected : ");
            if (at == std::string::npos) fail("no instruction count in " + log.string() + ":\n" + text);
            total += std::atoll(text.c_str() + at + 12);
        }
        return total;
    }

private:
    static long peakResidentKiB(pid_t pid) {
        std::ifstream f("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(f, line);)
            if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
        return -1;
    }

    static std::string valgrind() {
        for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
            fs::path p = fs::path(dir) / "valgrind";
            if (::access(p.c_str(), X_OK) == 0) return p.string();
        }
        fail("valgrind not found (scripts/install-deps.sh bench installs it)");
    }

    static std::string slurp(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }

    const Options& options_;
    fs::path bin_;
};

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string grouped(long long n) {
    std::string digits = std::to_string(n), out;
    int count = 0;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (count && count % 3 == 0) out.insert(out.begin(), ',');
        out.insert(out.begin(), *it);
        ++count;
    }
    return out;
}

std::string firstLineOf(const char* path, const char* key) {
    std::ifstream f(path);
    for (std::string line; std::getline(f, line);) {
        if (line.rfind(key, 0) != 0) continue;
        std::size_t colon = line.find(':');
        std::size_t eq = line.find('=');
        std::size_t at = colon != std::string::npos ? colon : eq;
        std::string v = at == std::string::npos ? line : line.substr(at + 1);
        v.erase(0, v.find_first_not_of(" \t\""));
        if (!v.empty() && v.back() == '"') v.pop_back();
        return v;
    }
    return "unknown";
}

std::string machine() {
    utsname u;
    ::uname(&u);
    return firstLineOf("/proc/cpuinfo", "model name") + ", " +
           std::to_string(::sysconf(_SC_NPROCESSORS_ONLN)) + " cores, Linux " + u.release +
           " " + u.machine + ", " + firstLineOf("/etc/os-release", "PRETTY_NAME");
}

long strippedSize(const fs::path& exe, const fs::path& work) {
    unsigned char head[20] = {};
    std::ifstream(exe, std::ios::binary).read(reinterpret_cast<char*>(head), sizeof head);
    if (std::memcmp(head, "\x7f" "ELF", 4) != 0) return -1;
    int machineCode = head[18] | head[19] << 8;
    std::string strip = machineCode == 40 ? "arm-linux-gnueabihf-strip" : "strip";  // 40: ARM
    fs::path out = work / "stripped";
    std::string command = strip + " -o '" + out.string() + "' '" + exe.string() + "'";
    if (std::system(command.c_str()) != 0) return -1;
    long size = static_cast<long>(fs::file_size(out));
    fs::remove(out);
    return size;
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail("missing value after " + a);
            return argv[++i];
        };
        if (a == "--work") o.work = value();
        else if (a == "--seed") o.seed = value();
        else if (a == "--program") o.program = value();
        else if (a == "--dynamic-program") o.dynamicProgram = value();
        else if (a == "--state-program") o.stateProgram = value();
        else if (a == "--floor") o.floor = value();
        else if (a == "--runs") o.runs = std::atoi(value().c_str());
        else if (a == "--traced-runs") o.traced = std::atoi(value().c_str());
        else if (a == "--real-sync") o.realSync = true;
        else if (a == "--size") {
            std::string v = value();
            std::size_t eq = v.find('=');
            if (eq == std::string::npos) fail("--size wants LABEL=PATH");
            o.sizes.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else {
            fail("unknown argument " + a);
        }
    }
    if (o.work.empty() || o.seed.empty() || o.program.empty() || o.floor.empty())
        fail("usage: webcfg-bench --work DIR --seed SCRIPT --program CGI --floor PROGRAM "
             "[--dynamic-program CGI] [--state-program CGI] [--size LABEL=PATH]... [--runs N] "
             "[--traced-runs N] "
             "[--real-sync]");
    if (o.runs < 50) fail("--runs must be at least 50");
    if (o.traced < 1) fail("--traced-runs must be at least 1");
    for (fs::path* p : {&o.work, &o.seed, &o.program, &o.dynamicProgram, &o.stateProgram, &o.floor})
        if (!p->empty()) *p = fs::absolute(*p);
    for (fs::path* p : {&o.seed, &o.program, &o.dynamicProgram, &o.stateProgram, &o.floor})
        if (!p->empty() && !fs::exists(*p)) fail(p->string() + " does not exist");
    return o;
}

// Stub programs first on PATH: reboot must never run, and sync (unless
// --real-sync) is replaced by true, so that flushing the disks of a shared
// build machine does not swamp the numbers: the shell still starts a
// program for every sync, which is the cost the program decides.
void writeStubs(const Options& o) {
    fs::path bin = o.work / "bin";
    fs::create_directories(bin);
    std::string t = fs::exists("/usr/bin/true") ? "/usr/bin/true" : "/bin/true";
    std::vector<const char*> stubs = {"reboot"};
    if (!o.realSync) stubs.push_back("sync");
    for (const char* name : stubs) {
        fs::remove(bin / name);
        fs::create_symlink(t, bin / name);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o = parse(argc, argv);
    fs::remove_all(o.work);
    fs::create_directories(o.work);
    writeStubs(o);
    Runner runner(o);

    std::vector<Kind> kinds = requestKinds();
    std::vector<Row> rows;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const Kind& k = kinds[i];
        if (k.dynamicLink && o.dynamicProgram.empty()) continue;
        if (k.stateProgram && o.stateProgram.empty()) continue;
        Row r;
        r.kind = &k;
        r.program = k.role == Role::Floor ? o.floor
                    : k.dynamicLink      ? o.dynamicProgram
                    : k.stateProgram     ? o.stateProgram
                                         : o.program;
        r.root = o.work / ("root" + std::to_string(i));
        fs::create_directories(r.root);
        std::string seed = "sh '" + o.seed.string() + "' '" + r.root.string() + "'";
        if (std::system(seed.c_str()) != 0) fail("seeding " + r.root.string() + " failed");
        rows.push_back(std::move(r));
    }

    std::fprintf(stderr, "webcfg-bench: %d timed rounds over %zu programs\n", o.runs,
                 rows.size());
    for (Row& r : rows) {
        std::string err;
        runner.timedRun(r, {r.program.string()}, &r.reply, &err);
        const std::string header =
            r.kind->stateProgram && std::strcmp(r.kind->method, "POST") == 0
                ? "Status: 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n"
            : r.kind->stateProgram ? "Content-Type: application/json; charset=utf-8\r\n"
                                   : "Content-type: text/plain\r\nCache-Control: no-store\r\n\r\n";
        if (r.reply.compare(0, header.size(), header) != 0)
            fail(std::string(r.kind->label) + ": not the reply header expected (stderr: " + err +
                 ")");
    }
    for (int round = 0; round < o.warmup + o.runs; ++round)
        for (Row& r : rows) {
            double ms = runner.timedRun(r, {r.program.string()});
            if (round >= o.warmup) r.wallMs.push_back(ms);
        }

    std::fprintf(stderr, "webcfg-bench: instructions and memory\n");
    for (Row& r : rows) {
        std::vector<double> counts;
        for (int i = 0; i < 3; ++i) counts.push_back(static_cast<double>(runner.instructions(r)));
        r.instructions = static_cast<long long>(median(counts));
        std::vector<double> shares;
        for (int i = 0; i < o.traced; ++i) {
            Runner::Traced t = runner.tracedRun(r);
            r.hwmKiB = std::max(r.hwmKiB, t.hwmKiB);
            shares.push_back(t.wallMs > 0 ? t.shellMs / t.wallMs : 0);
        }
        r.shellShare = median(shares);
    }

    const std::vector<double>& floorMs = rows.front().wallMs;
    auto floorRatio = [&](const Row& r) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < r.wallMs.size(); ++i)
            ratios.push_back(r.wallMs[i] / floorMs[i]);
        return median(ratios);
    };
    std::printf("Machine: %s. %d interleaved rounds after %d warm-up rounds; %d traced runs "
                "per row for memory and shell share; sync %s.\n\n",
                machine().c_str(), o.runs, o.warmup, o.traced,
                o.realSync ? "real" : "replaced by true");
    std::printf("| Request | Median wall | x floor | Own instructions | Peak RSS | Shell share "
                "| Reply |\n|---|---:|---:|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        double ms = median(r.wallMs);
        std::printf("| %s | %.3f ms | %.2f | %s | %ld KiB | %.0f%% | %zu B |\n", r.kind->label, ms,
                    floorRatio(r), grouped(r.instructions).c_str(), r.hwmKiB,
                    r.shellShare * 100, r.reply.size());
    }
    if (!o.sizes.empty()) {
        std::printf("\n| Executable | Stripped size |\n|---|---:|\n");
        for (const auto& [label, path] : o.sizes) {
            long size = strippedSize(path, o.work);
            if (size < 0)
                std::printf("| %s | not built |\n", label.c_str());
            else
                std::printf("| %s (%s) | %s B |\n", label.c_str(), path.filename().c_str(),
                            grouped(size).c_str());
        }
    }

    // The per-request goals, checked against this run.
    std::printf("\n");
    auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    long worstHwm = 0;
    for (const Row& r : rows) {
        double ratio = floorRatio(r);
        bool goalRow = r.kind->role != Role::Floor && r.kind->role != Role::Reference;
        if (goalRow) worstHwm = std::max(worstHwm, r.hwmKiB);
        switch (r.kind->role) {
        case Role::NoField:
            std::printf("- No known field: %.2f x floor (goal <= 1.5): %s\n", ratio,
                        verdict(ratio <= 1.5));
            break;
        case Role::Status:
            std::printf("- Status report: %.2f x floor (goal <= 2), %s own instructions "
                        "(goal < 300,000): %s, %s\n",
                        ratio, grouped(r.instructions).c_str(), verdict(ratio <= 2),
                        verdict(r.instructions < 300000));
            break;
        case Role::State:
            std::printf("- State document: %.2f x floor (goal <= 2), %s own instructions "
                        "(goal < 400,000): %s, %s\n",
                        ratio, grouped(r.instructions).c_str(), verdict(ratio <= 2),
                        verdict(r.instructions < 400000));
            break;
        case Role::Rewrite:
            std::printf("- Boot-script rewrite: %s own instructions (goal < 500,000): %s; "
                        "%.0f%% of its wall time in shell commands\n",
                        grouped(r.instructions).c_str(), verdict(r.instructions < 500000),
                        r.shellShare * 100);
            break;
        default:
            break;
        }
    }
    const auto rowOf = [&](Role role) -> const Row* {
        for (const Row& r : rows)
            if (r.kind->role == role) return &r;
        return nullptr;
    };
    if (const Row *set = rowOf(Role::FiveSet), *posts = rowOf(Role::FivePosts); set && posts) {
        const double share = median(set->wallMs) / median(posts->wallMs);
        std::printf("- Change set of five settings: %.3f ms, the same as five form posts %.3f ms: "
                    "%.2f of their wall time (goal <= 0.20): %s\n",
                    median(set->wallMs), median(posts->wallMs), share, verdict(share <= 0.20));
    }
    std::printf("- Peak resident memory of the program: at most %ld KiB (goal < 4096 KiB): %s\n",
                worstHwm, verdict(worstHwm < 4096));
    return 0;
}
