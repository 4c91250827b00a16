#include "platform/audit.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/platform.h"
#include "settings/rules.h"

namespace audit {
namespace {

// Facility user; severity notice for a change, warning for anything else.
constexpr int kPriorityChanged = 1 * 8 + 5;
constexpr int kPriorityRefused = 1 * 8 + 4;
// The classic syslog limit for a whole message.
constexpr std::size_t kMaxMessageBytes = 1024;
constexpr const char* kMasked = "***";
// A posted value is logged up to this many bytes, so that lines stay within
// what small syslog daemons keep (busybox syslogd: 256 bytes).
constexpr std::size_t kMaxLoggedValueBytes = 48;

struct Setting {
    std::string name;
    std::string value;
};

struct Record {
    bool open = false;
    std::string submit;
    std::vector<Setting> settings;
    int lookedUp = 0;
    int found = 0;
};

Record g_record;
std::string g_changeSet;
std::vector<std::string> g_busyReported;

// An RTMP address keeps its server and application; the stream key after
// them and any user name and password before the server become "***".
std::string maskRtmp(const std::string& url) {
    settings::RtmpUrl parts = settings::splitRtmpUrl(url);
    const std::size_t scheme = parts.address.find("://");
    const std::size_t host = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t at = parts.address.find('@', host);
    if (at != std::string::npos && parts.address.find('/', host) > at)
        parts.address.replace(host, at - host, kMasked);
    if (!parts.key.empty()) parts.key = parts.key.front() == '?' ? std::string("?") + kMasked : kMasked;
    return settings::joinRtmpUrl(parts);
}

// Text a log reader shows as it is: bytes that are no UTF-8, control
// characters (C0, DEL, C1) and the Unicode line and paragraph separators,
// which some viewers break lines at, are written as escapes.
std::string escaped(const std::string& text, bool inQuotes) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = 0;
        std::size_t next = at;
        char escape[8];
        if (!platform::nextUtf8(text, next, code) || code < 0x20 || code == 0x7f) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[at]));
            out += escape;
            at += 1;
            continue;
        }
        if ((code >= 0x80 && code <= 0x9f) || code == 0x2028 || code == 0x2029) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(code));
            out += escape;
        } else {
            if (inQuotes && (code == '"' || code == '\\')) out += '\\';
            out.append(text, at, next - at);
        }
        at = next;
    }
    return out;
}

// Quoted when it could be mistaken for the line's structure.
std::string logQuoted(const std::string& text) {
    const bool plain = !text.empty() && text.find_first_of(" \"\\;") == std::string::npos;
    return plain ? escaped(text, false) : "\"" + escaped(text, true) + "\"";
}

// A value longer than kMaxLoggedValueBytes keeps its first bytes (never
// half a character) and says how long it was.
std::string cutValue(const std::string& value) {
    if (value.size() <= kMaxLoggedValueBytes) return logQuoted(value);
    std::size_t end = 0;
    while (end < kMaxLoggedValueBytes) {
        std::uint32_t code = 0;
        std::size_t next = end;
        if (!platform::nextUtf8(value, next, code)) next = end + 1;
        if (next > kMaxLoggedValueBytes) break;
        end = next;
    }
    return logQuoted(value.substr(0, end)) + "[cut, " + std::to_string(value.size()) + " bytes]";
}

std::string cgiVariable(const char* name) {
    const char* v = std::getenv(name);
    return logQuoted(v && *v ? v : "-");
}

// "<PRI>Mmm dd hh:mm:ss webcfg: " before the message. The time is UTC: the
// local zone would mean reading TZ, which no request may steer.
void send(int priority, const std::string& message) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm t{};
    if (!gmtime_r(&now, &t)) return;
    char head[64];
    std::snprintf(head, sizeof head, "<%d>%s %2d %02d:%02d:%02d webcfg: ", priority,
                  kMonths[t.tm_mon], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    std::string line = head + message;
    if (line.size() > kMaxMessageBytes) line.resize(kMaxMessageBytes);

    std::string socketPath = platform::path("/dev/log");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    // One socket for the request, never waiting: a receiver that is missing
    // or whose queue is full loses the line.
    static int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    (void)::sendto(fd, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

// "[set <revision>] " before each line of a change set.
std::string setTag() { return g_changeSet.empty() ? "" : "[set " + g_changeSet + "] "; }

std::string who() { return cgiVariable("REMOTE_USER") + " " + cgiVariable("REMOTE_ADDR"); }

}  // namespace

std::string loggedValue(const std::string& name, const std::string& value) {
    if (name == "passkey") return kMasked;
    if (name == "rtmpurl") return cutValue(maskRtmp(value));
    return cutValue(value);
}

void begin(const char* submit) {
    g_record = Record{};
    g_record.open = true;
    g_record.submit = submit;
}

void fieldRead(const char* name, const std::string* value) {
    if (!g_record.open) return;
    ++g_record.lookedUp;
    if (!value) return;
    ++g_record.found;
    for (const Setting& s : g_record.settings)
        if (s.name == name) return;  // read twice: logged once
    g_record.settings.push_back({name, *value});
}

void setChangeSet(const std::string& tag) { g_changeSet = tag; }

void end(const Outcome& outcome) {
    Record record = std::move(g_record);
    g_record = Record{};
    if (!record.open) return;
    const bool ok = outcome.kind == Outcome::Kind::Applied;
    bool acted = record.lookedUp == 0 || record.found > 0 || !ok;
    if (!acted) return;
    // The outcome comes before the values: a daemon that cuts the line
    // keeps what happened.
    std::string message = who() + " " + setTag() + logQuoted(record.submit) + ": " +
                          (ok ? std::string("ok") : escaped(outcome.words, false));
    const char* separator = ";";
    for (const Setting& s : record.settings) {
        message += separator + (" " + logQuoted(s.name));
        if (outcome.kind != Outcome::Kind::Refused) message += "=" + loggedValue(s.name, s.value);
        separator = "";
    }
    send(ok ? kPriorityChanged : kPriorityRefused, message);
}

void event(bool warning, const std::string& what) {
    send(warning ? kPriorityRefused : kPriorityChanged, who() + " " + setTag() + escaped(what, false));
}

void busy(const char* submit) {
    for (const std::string& s : g_busyReported)
        if (s == submit) return;
    g_busyReported.emplace_back(submit);
    send(kPriorityRefused, who() + " " + logQuoted(submit) + ": busy");
}

}  // namespace audit
