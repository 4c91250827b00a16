// Black-box harness: a fresh appliance root per test, the real CGI program
// run in it as a web server would run it, and stub sync/reboot programs
// that record their calls instead of touching the host.
#pragma once

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sandbox {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string method = "GET";
    std::string queryString;
    std::optional<std::string> contentType;
    std::optional<std::string> contentLength;  // nullopt: the body's length
    bool omitContentLength = false;
    std::string body;
    bool stateProgram = false;  // run the state program instead of the settings one
    bool bootProgram = false;   // run webcfg-boot, as the device's start-up does
    bool readOnlyMnt = false;   // /mnt mounted read-only for the program (needs root)
    // Further CGI variables as "NAME=value", e.g. REMOTE_USER.
    std::vector<std::string> variables;
};

struct Reply {
    std::string out;  // every byte the program wrote to standard output
    std::string err;
    int exitCode = -1;
    bool timedOut = false;
};

constexpr const char* kHeader = "Content-type: text/plain\r\nCache-Control: no-store\r\n\r\n";

// Exit status of a run whose read-only mount could not be made.
constexpr int kNoReadOnlyMount = 125;

std::string urlencode(const std::string& text);
std::string urlencoded(const Fields& fields);
std::string multipart(const Fields& fields, const std::string& boundary);

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Paths are appliance paths such as "/mnt/ts.ini".
    void write(const std::string& path, const std::string& content);
    std::optional<std::string> read(const std::string& path) const;
    bool exists(const std::string& path) const;
    void remove(const std::string& path);
    void makeDirectory(const std::string& path);
    std::string hostPath(const std::string& path) const;

    Reply run(const Request& request);
    // Runs the request and kills the program with SIGKILL after the delay
    // (if it is still running then).
    Reply runAndKill(const Request& request, std::chrono::microseconds delay);
    // Runs the request and sends the program alone the signal after the
    // delay, as a web server does when its client has gone; then reads the
    // reply to its end.
    Reply runAndSignal(const Request& request, std::chrono::microseconds delay, int signal);
    Reply get(const std::string& queryString);
    Reply post(const Fields& fields);
    // A form post of this already-encoded body ("ttl_submit=&ttl=71").
    Reply post(const std::string& urlencodedBody);
    Reply postMultipart(const Fields& fields, const std::string& boundary = "XyZzy42");
    // A GET of the state program with this query string.
    Reply state(const std::string& queryString = "");

    // Stub programs called so far, one "name args" entry per call, in order.
    std::vector<std::string> calls() const;
    int count(const std::string& call) const;

    // In the sanitizer build every child scans for leaks at exit, which
    // costs more than the request itself; a test that runs thousands of
    // children may turn that off (memory errors are still caught).
    bool leakChecks = true;

private:
    Reply execute(const Request& request, std::optional<std::chrono::microseconds> killAfter,
                  int signal = SIGKILL);
    std::string dir_;
};

}  // namespace sandbox

namespace sandbox {

// The reply body after the header; an empty optional when the header is
// not the expected text/plain one.
inline std::optional<std::string> bodyOf(const Reply& reply) {
    std::string header = kHeader;
    if (reply.out.compare(0, header.size(), header) != 0) return std::nullopt;
    return reply.out.substr(header.size());
}

}  // namespace sandbox
