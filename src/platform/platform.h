// Platform seam: where appliance paths live, how shell commands run, and
// the small file helpers every module shares. Nothing else in the program
// builds a path or calls system().
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

// Prefix of every path the program touches; empty on the appliance.
const std::string& root();

// An appliance path such as "/mnt/ts.ini", relocated under the root.
std::string path(const char* appliancePath);

// The same path as a shell word for command texts. The root is quoted when
// it holds anything a shell would interpret, so a glob such as
// "/mnt/dfc/*" after it still expands.
std::string shellPath(const char* appliancePath);

// Runs one command through system(). The reply is flushed first so that
// anything the command prints, or the time it takes, never reorders the
// reply. True when the command exited with status 0.
bool runShell(const std::string& command);

// The flag-file idioms of the appliance's scripts, one system() call each:
// "touch <path>", "echo <digit> > <path>", "sync". The echo says whether
// the shell wrote the file (a read-only or full /mnt makes it fail).
void shellTouch(const char* appliancePath);
bool shellEcho(int digit, const char* appliancePath);
void shellSync();

// Reads at most maxBytes from the start of an appliance file; nullopt when
// it cannot be opened or read (a directory, for one).
std::optional<std::string> readFile(const char* appliancePath,
                                    std::size_t maxBytes = static_cast<std::size_t>(-1));

// What a reader found in one file: whether the file could be read at all,
// and the value when it holds one. A file that exists without a value is
// one this program cannot parse.
template <class T>
struct FileValue {
    bool exists = false;
    std::optional<T> value;
    bool unparsable() const { return exists && !value; }
};

// Reads of one-value files never need more than this.
constexpr std::size_t kValueFileMaxBytes = 4096;

// The first byte of a flag file; no value when it is missing or empty.
FileValue<char> readFirstByte(const char* appliancePath);

// The integer a single scanf "%d" reads at the start of the file; no value
// when the file is missing or does not begin with one.
FileValue<int> readFirstInt(const char* appliancePath);

// True when the file can be opened for reading.
bool canOpen(const char* appliancePath);

// The standard atoi reading: leading white space, an optional sign, then
// digits up to the first other character; 0 without digits. Saturates at
// the int range instead of overflowing, so every build reads alike.
int atoiValue(const std::string& text, std::size_t pos = 0);

// One scanf "%d" conversion starting at pos (white space skipped, a sign,
// at least one digit). On success pos moves past the number.
bool scanInt(const std::string& text, std::size_t& pos, int& value);

// Ends the name of the temporary file that a whole-file write uses beside
// its target (".<name>" followed by this).
constexpr const char* kTemporarySuffix = ".webcfg-new";

// Creates or replaces the file with the text, so that a power cut or a
// kill at any moment leaves either the whole old or the whole new content:
// a temporary file in the same directory is written, flushed to storage,
// given the old file's mode and owner (newFileMode when there was none),
// renamed over the old one, and the directory is flushed. A symbolic link
// is written through, not replaced. False, with the old file untouched,
// when any step fails.
bool writeFile(const char* appliancePath, const std::string& text, unsigned newFileMode = 0644);

// Copies a regular file the same way; a new target gets the source's mode.
bool copyFile(const char* fromAppliancePath, const char* toAppliancePath);

// Names of the regular files in a directory that a shell's "*" would list,
// sorted; nullopt when it cannot be opened or read to its end.
std::optional<std::vector<std::string>> regularFiles(const char* applianceDirectory);

// Serialises whole requests: an advisory lock on the /mnt directory, which
// is never replaced, held until the process ends. A change takes it
// exclusive; a reader shared, so that it never sees half of a change.
// Whoever takes it first undoes an unfinished change set (see journal.h).
// Busy: another request held it for longer than the wait. Unrecovered: an
// unfinished change set could not be undone; nothing may be read or changed.
enum class LockMode { Exclusive, Shared };
enum class Lock { Held, Busy, Unrecovered };
Lock lockSettings(LockMode mode = LockMode::Exclusive);

// Lets go of the request lock before the process ends (a process that
// stays in the background must not hold it).
void unlockSettings();

// Which boot a form or a change set last changed a settings file in: what
// tells a change that waits for a restart where no record of the start
// exists, without trusting a clock.
constexpr const char* kChangedInBootPath = "/mnt/.webcfg-changed";
void noteChangeInThisBoot();

// The one line a request is answered with when the settings hold an
// unfinished change set that could not be undone.
constexpr const char* kUnrecoveredRefusal =
    "an unfinished change could not be undone (see the system log); nothing was done";

// Modification time of an appliance file in seconds since the epoch;
// nullopt when it does not exist.
std::optional<long long> modificationTime(const char* appliancePath);

// When the running system started, in seconds since the epoch, as the
// kernel reports it (the "btime" line of /proc/stat); nullopt when unknown.
std::optional<long long> bootTime();

// This boot's identity, as the kernel gives it in
// /proc/sys/kernel/random/boot_id (under the root like every path); empty
// when unknown. A device without a real-time clock may start in 1970 every
// time: this, not a file time, tells one start from another.
std::string bootId();

// Seconds since this boot, from /proc/uptime (under the root); nullopt
// when unknown. The only clock a countdown trusts.
std::optional<long long> uptimeSeconds();

// A client that leaves must not leave a half-applied change behind. Called
// first thing in main: a write to a standard output whose reader has gone
// fails quietly (the text is dropped) instead of ending the program.
void ignoreClosedOutput();

// From construction to destruction SIGTERM, SIGHUP and SIGINT (what web
// servers send when the client has gone) are held. The destructor flushes
// standard output first; a held signal then ends the program. Shell
// commands started meanwhile inherit the hold. SIGKILL cannot be held.
class SignalHold {
public:
    SignalHold();
    ~SignalHold();
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

private:
    bool held_ = false;
};

// The code point of the UTF-8 character at i, moving i past it; false for
// bytes that are no UTF-8 character (a cut, overlong or surrogate form).
bool nextUtf8(const std::string& text, std::size_t& i, std::uint32_t& codePoint);

// Text with ASCII capitals made small (header names, media types, schemes).
std::string asciiLower(std::string text);

// Where a browser says a request comes from, as the web server passed it
// (the Origin and Sec-Fetch-Site headers, the Host it was sent to, and
// whether it came over HTTPS).
struct RequestSource {
    std::optional<std::string> origin;
    std::optional<std::string> fetchSite;
    std::optional<std::string> host;
    bool https = false;
};
RequestSource requestSource();

// True for a request another site's page made: an Origin that is not the
// request's own scheme, host and port, or a Sec-Fetch-Site other than
// "same-origin" and "none". The opaque origin "null" passes only marked
// same-origin. Clients that send neither (curl, firmware tools, old
// browsers on a form post) pass.
bool fromAnotherSite(const RequestSource& source);

// The one line both programs answer such a request with.
constexpr const char* kAnotherSiteRefusal = "the request comes from another site; nothing was done";

// A CGI variable the web server passed; empty when it passed none.
std::string environment(const char* name);

// Why the body a request announces cannot be had.
enum class BodyProblem { NoLength, TooLarge, BadLength, ShortBody };

// CONTENT_LENGTH: plain digits, at most `most`; an empty one is 0. Servers
// that take a chunked body pass none at all.
std::variant<std::size_t, BodyProblem> contentLength(const std::optional<std::string>& text,
                                                     std::size_t most);

// The body CONTENT_LENGTH announces, read from standard input; nothing is
// read of a body whose length is refused anyway.
std::variant<std::string, BodyProblem> readBody(std::size_t most);

// Model flag: set once per request from the existence of /mnt/mk250.ini.
void probeModelFlag();
bool modelFlag();

}  // namespace platform
