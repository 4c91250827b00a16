// The audit log as a syslog daemon receives it: the program is built with
// its root at the sandbox, so it sends to <sandbox root>/dev/log, where the
// test binds its own datagram socket.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <optional>

#include "support/appliance.h"

namespace {

using sandbox::Fields;
using sandbox::Request;
using sandbox::Sandbox;

// A datagram socket bound where the program sends its log lines.
class LogReceiver {
public:
    explicit LogReceiver(Sandbox& box) {
        box.makeDirectory("/dev");
        std::string path = box.hostPath("/dev/log");
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) throw std::runtime_error("path too long");
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot bind the log socket");
        address_ = address;
    }
    ~LogReceiver() { ::close(fd_); }
    LogReceiver(const LogReceiver&) = delete;
    LogReceiver& operator=(const LogReceiver&) = delete;

    std::vector<std::string> lines() {
        std::vector<std::string> out;
        char buf[4096];
        for (ssize_t n; (n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) >= 0;)
            out.emplace_back(buf, static_cast<std::size_t>(n));
        return out;
    }

    // Fills the receive queue from another socket, as a stalled daemon would
    // leave it.
    void fill() {
        int sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const std::string filler(512, 'x');
        while (::sendto(sender, filler.data(), filler.size(), 0,
                        reinterpret_cast<const sockaddr*>(&address_), sizeof address_) >= 0) {
        }
        ::close(sender);
    }

private:
    int fd_ = -1;
    sockaddr_un address_{};
};

struct AuditCase {
    const char* name;
    Fields fields;
    std::vector<std::string> variables;
    const char* brokenFile;  // made a directory first, or nullptr
    bool busy;               // another request holds the settings lock
    // The lines after "<PRI>Mmm dd hh:mm:ss ", each with its priority.
    std::vector<std::pair<int, std::string>> lines;
    // Files written over the laid-out ones (nullopt: removed) first.
    std::vector<std::pair<std::string, std::optional<std::string>>> files = {};
    std::optional<std::string> reply = std::nullopt;  // the body, where it tells the outcome
    std::optional<std::string> changeSet = std::nullopt;  // sent to the state program instead of the fields
};

void PrintTo(const AuditCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kAdmin = {"REMOTE_USER=admin", "REMOTE_ADDR=192.0.2.7"};
constexpr int kNotice = 13;
constexpr int kWarning = 12;

const std::vector<AuditCase> kCases = {
    {"ChangeNamesLoginAddressSettingAndValue", {{"ttl_submit", ""}, {"ttl", "42"}}, kAdmin,
     nullptr, false, {{kNotice, "webcfg: admin 192.0.2.7 ttl_submit: ok; ttl=42"}}},
    {"RequestWithoutLoginNamesADash", {{"name5_submit", ""}}, {"REMOTE_ADDR=192.0.2.8"}, nullptr,
     false, {{kNotice, "webcfg: - 192.0.2.8 name5_submit: ok"}}},
    {"RadioGroupLogsThePostedChoice", {{"codec_submit", ""}, {"ctrlaz", "male"}}, kAdmin, nullptr,
     false, {{kNotice, "webcfg: admin 192.0.2.7 codec_submit: ok; ctrlaz=male"}}},
    {"ValueWithSpacesIsQuoted", {{"ssid_submit", ""}, {"ssid", "studio B"}}, kAdmin, nullptr,
     false, {{kNotice, "webcfg: admin 192.0.2.7 ssid_submit: ok; ssid=\"studio B\""}}},
    {"TooLongValueIsLoggedByNameOnly", {{"name1_submit", ""}, {"ip", "10.20.30.40.50.60.70"}},
     kAdmin, nullptr, false, {{kWarning, "webcfg: admin 192.0.2.7 name1_submit: error len; ip"}}},
    {"RefusedCharacterIsLoggedByNameOnly", {{"name1_submit", ""}, {"ip", "1.2.3.4;reboot"}},
     kAdmin, nullptr, false, {{kWarning, "webcfg: admin 192.0.2.7 name1_submit: error char; ip"}}},
    {"UnusableValueIsLoggedByNameOnly", {{"passkey_submit", ""}, {"passkey", "short"}}, kAdmin,
     nullptr, false,
     {{kWarning, "webcfg: admin 192.0.2.7 passkey_submit: error value; passkey"}}},
    {"EmptyValueIsLoggedByNameOnly", {{"ttl_submit", ""}, {"ttl", ""}}, kAdmin, nullptr, false,
     {{kWarning, "webcfg: admin 192.0.2.7 ttl_submit: input empty; ttl"}}},
    {"UnwritableFileIsTheOutcome", {{"ttl_submit", ""}, {"ttl", "42"}}, kAdmin, "/mnt/ttl.ini",
     false, {{kWarning, "webcfg: admin 192.0.2.7 ttl_submit: Can't open file; ttl=42"}}},
    {"LockedSettingsLogBusyOncePerSubmit",
     {{"codec_submit", ""}, {"ctrlaz", "male"}, {"ifwifi", "male"}, {"ttl_submit", ""}, {"ttl", "5"}},
     kAdmin, nullptr, true,
     {{kWarning, "webcfg: admin 192.0.2.7 codec_submit: busy"},
      {kWarning, "webcfg: admin 192.0.2.7 ttl_submit: busy"}}},
    {"ChangeSetLogsEachCommandTaggedAndItsEnd", {}, kAdmin, nullptr, false,
     {{kNotice, "webcfg: admin 192.0.2.7 [set REV] ttl_submit: ok; ttl=42"},
      {kNotice, "webcfg: admin 192.0.2.7 [set REV] name3_submit: ok; bitrate=3000000"},
      {kNotice, "webcfg: admin 192.0.2.7 [set REV] set: applied, 2 setting(s) changed"}},
     {}, std::nullopt, R"({"settings": {"encoder": {"bitrate": 3000000, "ttl": 42}}})"},
    {"RefusedChangeSetSaysItWasUndone", {}, kAdmin, nullptr, false,
     {{kNotice, "webcfg: admin 192.0.2.7 [set REV] ttl_submit: ok; ttl=42"},
      {kWarning, "webcfg: admin 192.0.2.7 [set REV] s_x_submit: error len; s_x"},
      {kWarning, "webcfg: admin 192.0.2.7 [set REV] set: refused by s_x_submit; every file put back, nothing changed"}},
     {{"/mnt/zk.ini", "1 0 0 " + std::string(240, 'A')}}, std::nullopt,
     R"({"settings": {"encoder": {"ttl": 42}, "subtitle": {"x": 40}}})"},
    {"ChangeSetAgainstTheSchemaIsOneLine", {}, kAdmin, nullptr, false,
     {{kWarning, "webcfg: admin 192.0.2.7 set: refused, 1 value(s) against the schema (encoder.ttl: maximum); nothing changed"}},
     {}, std::nullopt, R"({"settings": {"encoder": {"ttl": 4200}}})"},
    {"PassPhraseIsMasked", {{"passkey_submit", ""}, {"passkey", "correct horse"}}, kAdmin,
     nullptr, false, {{kNotice, "webcfg: admin 192.0.2.7 passkey_submit: ok; passkey=***"}}},
    {"RtmpStreamKeyIsMasked",
     {{"rtmpurl_submit", ""}, {"rtmpurl", "rtmp://192.168.1.5:1935/live/s3cr3t-key"}}, kAdmin,
     nullptr, false,
     {{kNotice,
       "webcfg: admin 192.0.2.7 rtmpurl_submit: ok; rtmpurl=rtmp://192.168.1.5:1935/live/***"}}},
    // Busybox syslogd keeps 256 bytes of a line: the outcome comes first
    // and every value is cut short.
    {"LongValueIsCutAfterTheOutcome",
     {{"rtmpurl_submit", ""}, {"rtmpurl", "rtmp://" + std::string(55, 'h') + "/live/key"}}, kAdmin,
     nullptr, false,
     {{kNotice, "webcfg: admin 192.0.2.7 rtmpurl_submit: ok; rtmpurl=rtmp://" + std::string(41, 'h') +
                    "[cut, 71 bytes]"}}},
    {"StatusQueriesLogNothing", {{"name44_submit", ""}, {"mg_gx", ""}, {"sub_v", ""}}, kAdmin,
     nullptr, false, {}},
    // The outcome is what the device holds, whatever else the reply says.
    {"FlagFileTheShellCannotWriteIsTheOutcome", {{"codec_submit", ""}, {"ctrlaz", "female"}}, kAdmin,
     "/mnt/ts.ini", false,
     {{kWarning, "webcfg: admin 192.0.2.7 codec_submit: Can't open file ts.ini; ctrlaz=female"}}, {},
     "disable ts output\nCan't open file ts.ini\n"},
    {"VolumeWithoutItsControlIsTheOutcome", {{"name_volume_submit", ""}, {"volume", "55"}}, kAdmin,
     nullptr, false,
     {{kWarning, "webcfg: admin 192.0.2.7 name_volume_submit: Can't find volume control; volume=55"}},
     {{"/mnt/asound.state", "state.Codec {\n}\n"}}, "set volume:55\nCan't find volume control\n"},
    {"ChangeWhoseReportMissesAnotherFileIsOk", {{"name3_submit", ""}, {"bitrate", "3000000"}},
     kAdmin, nullptr, false, {{kNotice, "webcfg: admin 192.0.2.7 name3_submit: ok; bitrate=3000000"}},
     {{"/mnt/wifi/wpa.conf", std::nullopt}}},
    {"HeaderThatCannotBeReadIsARefusal", {{"name3_submit", ""}, {"bitrate", "3000000"}}, kAdmin,
     nullptr, false,
     {{kWarning, "webcfg: admin 192.0.2.7 name3_submit: "
                 "error: autorun.sh: ip cannot be read, nothing changed; bitrate"}},
     {{"/mnt/autorun.sh", "ip=192.168.1.60   # studio LAN\n" + sandbox::bootScript()}}},
    {"ScriptThatWouldBeCutIsARefusal", {{"name3_submit", ""}, {"bitrate", "3000000"}}, kAdmin,
     nullptr, false,
     {{kWarning, "webcfg: admin 192.0.2.7 name3_submit: "
                 "error: autorun.sh would be cut, nothing changed; bitrate"}},
     {{"/mnt/autorun.sh", sandbox::defaultHeader() + "end\n"}}},
    {"PassPhraseWithoutANameIsARefusal", {{"passkey_submit", ""}, {"passkey", "8 chars!"}}, kAdmin,
     nullptr, false,
     {{kWarning, "webcfg: admin 192.0.2.7 passkey_submit: "
                 "error: wpa.conf holds no network name, nothing changed; passkey"}},
     {{"/mnt/wifi/wpa.conf", ""}}},
};

// "<PRI>Mmm dd hh:mm:ss rest" split into PRI and rest; nullopt when the
// line has another shape.
std::optional<std::pair<int, std::string>> parseLine(const std::string& line) {
    std::size_t close = line.find('>');
    if (line.empty() || line[0] != '<' || close == std::string::npos || close < 2) return {};
    const std::string pri = line.substr(1, close - 1);
    if (pri.find_first_not_of("0123456789") != std::string::npos) return {};
    // A upper-case letter, a lower-case one, d digit, D digit or space.
    const std::string shape = "Aaa Dd dd:dd:dd ";
    const std::string stamp = line.substr(close + 1, shape.size());
    if (stamp.size() != shape.size()) return {};
    for (std::size_t i = 0; i < shape.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(stamp[i]);
        bool fits = shape[i] == 'A'   ? std::isupper(c)
                    : shape[i] == 'a' ? std::islower(c)
                    : shape[i] == 'd' ? std::isdigit(c)
                    : shape[i] == 'D' ? (std::isdigit(c) || c == ' ')
                                      : c == static_cast<unsigned char>(shape[i]);
        if (!fits) return {};
    }
    return std::make_pair(std::stoi(pri), line.substr(close + 1 + shape.size()));
}

Request requestOf(const AuditCase& c) {
    Request r;
    r.method = "POST";
    r.contentType = c.changeSet ? "application/json" : "application/x-www-form-urlencoded";
    r.body = c.changeSet ? *c.changeSet : sandbox::urlencoded(c.fields);
    r.stateProgram = c.changeSet.has_value();
    r.variables = c.variables;
    return r;
}

void prepare(Sandbox& box, const AuditCase& c) {
    sandbox::layOutAppliance(box);
    for (const auto& [path, content] : c.files) {
        if (content)
            box.write(path, *content);
        else
            box.remove(path);
    }
    if (c.brokenFile) {
        box.remove(c.brokenFile);
        box.makeDirectory(c.brokenFile);
    }
}

class AuditLog : public ::testing::TestWithParam<AuditCase> {};

TEST_P(AuditLog, ReceiverGetsOneLinePerCommandThatActed) {
    const AuditCase& c = GetParam();
    Sandbox box;
    prepare(box, c);
    LogReceiver receiver(box);
    // Held by "another request" for the whole run: the program gives up
    // after its ten seconds of waiting.
    int lockFd = -1;
    if (c.busy) {
        lockFd = ::open(box.hostPath("/mnt").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);
    }
    const sandbox::Reply reply = box.run(requestOf(c));
    if (lockFd >= 0) ::close(lockFd);
    if (c.reply) {
        EXPECT_EQ(sandbox::bodyOf(reply), c.reply);
    }

    std::vector<std::pair<int, std::string>> got;
    for (const std::string& line : receiver.lines()) {
        auto parsed = parseLine(line);
        ASSERT_TRUE(parsed) << line;
        // A set's lines carry the revision it was applied to.
        const std::size_t tag = parsed->second.find("[set ");
        if (tag != std::string::npos) parsed->second.replace(tag + 5, 16, "REV");
        got.push_back(*parsed);
    }
    EXPECT_EQ(got, c.lines);
}

INSTANTIATE_TEST_SUITE_P(EveryOutcome, AuditLog, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The same request with the log received, with no receiver at all, and
// with a receiver whose queue is full: the replies are the same bytes.
TEST(AuditLogReceiver, MissingOrFullReceiverLeavesTheReplyUnchanged) {
    for (const AuditCase& c : kCases) {
        if (c.busy || c.changeSet) continue;  // a set's answer holds its files' revision
        SCOPED_TRACE(c.name);
        Sandbox logged, unlogged, stalled;
        prepare(logged, c);
        prepare(unlogged, c);
        prepare(stalled, c);
        LogReceiver receiver(logged);
        LogReceiver full(stalled);
        full.fill();
        const std::string reply = logged.run(requestOf(c)).out;
        EXPECT_EQ(unlogged.run(requestOf(c)).out, reply);
        EXPECT_EQ(stalled.run(requestOf(c)).out, reply);
    }
}

}  // namespace
