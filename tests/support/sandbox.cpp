#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace sandbox {
namespace {

const char* cgiProgram(const Request& request) {
    const char* over = std::getenv(request.bootProgram    ? "WEBCFG_BOOT"
                                   : request.stateProgram ? "WEBCFG_STATE_CGI"
                                                          : "WEBCFG_CGI");
    if (over && *over) return over;
    return request.bootProgram ? WEBCFG_SANDBOX_BOOT : request.stateProgram ? WEBCFG_SANDBOX_STATE_CGI : WEBCFG_SANDBOX_CGI;
}

void writeStub(const std::string& bin, const char* name) {
    std::string file = bin + "/" + name;
    std::ofstream(file) << "#!/bin/sh\necho \"" << name
                        << "${*:+ $*}\" >> \"$WEBCFG_STUB_LOG\"\n";
    ::chmod(file.c_str(), 0755);
}

}  // namespace

std::string urlencode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string urlencoded(const Fields& fields) {
    std::string out;
    for (const auto& [name, value] : fields) {
        if (!out.empty()) out += '&';
        out += urlencode(name) + "=" + urlencode(value);
    }
    return out;
}

std::string multipart(const Fields& fields, const std::string& boundary) {
    std::string out;
    for (const auto& [name, value] : fields)
        out += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
               "\"\r\n\r\n" + value + "\r\n";
    return out + "--" + boundary + "--\r\n";
}

// A memory file system when there is one: the program flushes every file
// it writes to storage, which a disk makes slow and tests gain nothing from.
static fs::path scratchDirectory() {
    if (::access("/dev/shm", W_OK) == 0 && fs::is_directory("/dev/shm")) return "/dev/shm";
    return fs::temp_directory_path();
}

Sandbox::Sandbox() {
    std::string tmpl = (scratchDirectory() / "webcfg-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    fs::create_directories(dir_ + "/root/mnt/wifi");
    fs::create_directories(dir_ + "/root/tmp");
    fs::create_directories(dir_ + "/bin");
    writeStub(dir_ + "/bin", "sync");
    writeStub(dir_ + "/bin", "reboot");
    std::ofstream(dir_ + "/calls.log");
}

Sandbox::~Sandbox() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string Sandbox::hostPath(const std::string& path) const { return dir_ + "/root" + path; }

void Sandbox::write(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(hostPath(path)).parent_path());
    std::ofstream f(hostPath(path), std::ios::binary | std::ios::trunc);
    f.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> Sandbox::read(const std::string& path) const {
    std::ifstream f(hostPath(path), std::ios::binary);
    if (!f || fs::is_directory(hostPath(path))) return std::nullopt;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Sandbox::exists(const std::string& path) const { return fs::exists(hostPath(path)); }

void Sandbox::remove(const std::string& path) { fs::remove_all(hostPath(path)); }

void Sandbox::makeDirectory(const std::string& path) {
    fs::remove_all(hostPath(path));
    fs::create_directories(hostPath(path));
}

Reply Sandbox::run(const Request& request) { return execute(request, std::nullopt); }

Reply Sandbox::runAndKill(const Request& request, std::chrono::microseconds delay) {
    return execute(request, delay);
}

Reply Sandbox::runAndSignal(const Request& request, std::chrono::microseconds delay,
                           int signal) {
    return execute(request, delay, signal);
}

Reply Sandbox::execute(const Request& request,
                       std::optional<std::chrono::microseconds> killAfter, int signal) {
    std::vector<std::string> env = {
        "PATH=" + dir_ + "/bin:/usr/local/bin:/usr/bin:/bin",
        "WEBCFG_STUB_LOG=" + dir_ + "/calls.log",
        "GATEWAY_INTERFACE=CGI/1.1",
        "SERVER_PROTOCOL=HTTP/1.1",
        "REQUEST_METHOD=" + request.method,
        "QUERY_STRING=" + request.queryString,
    };
    if (request.contentType) env.push_back("CONTENT_TYPE=" + *request.contentType);
    if (!request.omitContentLength)
        env.push_back("CONTENT_LENGTH=" +
                      request.contentLength.value_or(std::to_string(request.body.size())));
    env.insert(env.end(), request.variables.begin(), request.variables.end());
    if (!leakChecks) env.push_back("ASAN_OPTIONS=detect_leaks=0");

    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
        throw std::runtime_error("pipe failed");

    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = cgiProgram(request);
    std::vector<std::string> argv;
    if (const char* wrapper = std::getenv("WEBCFG_CGI_WRAPPER"); wrapper && *wrapper)
        argv.push_back(wrapper);
    argv.push_back(program);
    std::vector<char*> argvp;
    for (std::string& a : argv) argvp.push_back(a.data());
    argvp.push_back(nullptr);
    std::string cwd = dir_ + "/root";

    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        if (request.readOnlyMnt) {
            const std::string mnt = cwd + "/mnt";
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount(mnt.c_str(), mnt.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
                ::mount(nullptr, mnt.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                ::_exit(kNoReadOnlyMount);
        }
        ::execve(argvp[0], argvp.data(), envp.data());
        if (errno == ENOENT) ::execvpe(argvp[0], argvp.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);

    ::signal(SIGPIPE, SIG_IGN);
    Reply reply;
    std::size_t sent = 0;
    int inFd = in[1];
    if (request.body.empty()) {
        ::close(inFd);
        inFd = -1;
    }
    bool outOpen = true, errOpen = true;
    const auto start = std::chrono::steady_clock::now();
    auto deadline = start + std::chrono::seconds(20);
    if (killAfter) deadline = start + *killAfter;
    while (outOpen || errOpen) {
        pollfd fds[3];
        int n = 0;
        if (outOpen) fds[n++] = {out[0], POLLIN, 0};
        if (errOpen) fds[n++] = {err[0], POLLIN, 0};
        if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
        auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        int left = remaining.count() <= 0 ? 0 : static_cast<int>(remaining.count() / 1000) + 1;
        if (remaining.count() <= 0) left = 0;
        if (left <= 0 && killAfter && signal != SIGKILL) {
            ::kill(pid, signal);
            killAfter.reset();
            deadline = start + std::chrono::seconds(20);
            continue;
        }
        if (left <= 0) {
            reply.timedOut = !killAfter;
            // The whole process group: a shell command it started dies too.
            ::kill(-pid, SIGKILL);
            break;
        }
        if (::poll(fds, n, left) < 0 && errno != EINTR) break;
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == inFd) {
                ssize_t w = ::write(inFd, request.body.data() + sent, request.body.size() - sent);
                if (w > 0) sent += static_cast<std::size_t>(w);
                if (w < 0 || sent == request.body.size()) {
                    ::close(inFd);
                    inFd = -1;
                }
                continue;
            }
            char buf[65536];
            ssize_t r = ::read(fds[i].fd, buf, sizeof buf);
            bool isOut = fds[i].fd == out[0];
            if (r <= 0) {
                (isOut ? outOpen : errOpen) = false;
            } else {
                (isOut ? reply.out : reply.err).append(buf, static_cast<std::size_t>(r));
            }
        }
    }
    if (inFd >= 0) ::close(inFd);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    reply.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    // A sanitizer report from the program fails whatever test ran it.
    if (reply.err.find("Sanitizer") != std::string::npos ||
        reply.err.find("runtime error:") != std::string::npos)
        ADD_FAILURE() << "sanitizer report from the program:\n" << reply.err;
    if (reply.timedOut) ADD_FAILURE() << "the program did not finish";
    return reply;
}

Reply Sandbox::get(const std::string& queryString) {
    Request r;
    r.method = "GET";
    r.queryString = queryString;
    r.omitContentLength = true;
    return run(r);
}

Reply Sandbox::post(const Fields& fields) {
    Request r;
    r.method = "POST";
    r.contentType = "application/x-www-form-urlencoded";
    r.body = urlencoded(fields);
    return run(r);
}

Reply Sandbox::post(const std::string& urlencodedBody) {
    Request r;
    r.method = "POST";
    r.contentType = "application/x-www-form-urlencoded";
    r.body = urlencodedBody;
    return run(r);
}

Reply Sandbox::postMultipart(const Fields& fields, const std::string& boundary) {
    Request r;
    r.method = "POST";
    r.contentType = "multipart/form-data; boundary=" + boundary;
    r.body = multipart(fields, boundary);
    return run(r);
}

Reply Sandbox::state(const std::string& queryString) {
    Request r;
    r.method = "GET";
    r.queryString = queryString;
    r.omitContentLength = true;
    r.stateProgram = true;
    return run(r);
}

std::vector<std::string> Sandbox::calls() const {
    std::vector<std::string> lines;
    std::ifstream f(dir_ + "/calls.log");
    for (std::string line; std::getline(f, line);) lines.push_back(line);
    return lines;
}

int Sandbox::count(const std::string& call) const {
    int n = 0;
    for (const std::string& line : calls()) n += line == call;
    return n;
}

}  // namespace sandbox
