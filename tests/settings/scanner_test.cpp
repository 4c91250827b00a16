// The key scanner, in process: texts in, settings record out.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "settings/settings.h"
#include "support/in_process.h"

namespace {

using settings::SettingsRecord;

std::string describe(const SettingsRecord& r) {
    std::string s;
    auto text = [&](const char* n, const std::string& v) { s += std::string(n) + "=[" + v + "] "; };
    auto num = [&](const char* n, int v) { s += std::string(n) + "=" + std::to_string(v) + " "; };
    text("url", r.url), text("ssid", r.ssid), text("psk", r.psk), text("wifiip", r.wifiip);
    text("ip", r.ip), text("tz", r.tz), num("tc", r.tc), text("netmask", r.netmask);
    text("gateway", r.gateway), num("ctrlencode", r.ctrlencode), num("ctrlcodec", r.ctrlcodec);
    num("bitrate", r.bitrate), num("framerate", r.framerate), num("fi", r.fi);
    num("headerLength", r.headerLength), num("audiosample", r.audiosample);
    num("audiobps", r.audiobps), num("width", r.width), num("height", r.height);
    return s;
}

SettingsRecord scan(const std::string& text, std::size_t limit) {
    settings::record() = SettingsRecord{};
    settings::parseSettingsText(text, limit);
    return settings::record();
}

struct ScanCase {
    const char* name;
    std::string text;
    std::optional<std::size_t> limit;  // default: the text's length
    std::function<void(SettingsRecord&)> expect;
};

TEST(Scanner, StoresWhatTheKeysAtLineStartsHold) {
    const std::string s19(19, '1'), s20(20, '1'), s255(255, 'u'), s256(256, 'u');
    const ScanCase cases[] = {
        {"CR ends a value like LF", "ip=10.0.0.1\r\n", {}, [](auto& r) { r.ip = "10.0.0.1"; }},
        {"19 characters are taken", "ip=" + s19 + "\n", {}, [&](auto& r) { r.ip = s19; }},
        {"20 characters are ignored", "ip=" + s20 + "\n", {}, [](auto&) {}},
        {"255-character url is taken", "url=" + s255 + "\n", {}, [&](auto& r) { r.url = s255; }},
        {"256-character url is ignored", "url=" + s256 + "\n", {}, [](auto&) {}},
        {"empty value empties a text field", "ip=\n", {}, [](auto& r) { r.ip = ""; }},
        {"empty decimal value stores 0", "bitrate=\n", {}, [](auto& r) { r.bitrate = 0; }},
        {"decimal takes the leading number", "framerate=30fps\n", {},
         [](auto& r) { r.framerate = 30; }},
        {"wifiip sets only itself", "wifiip=10.1.2.3\n", {},
         [](auto& r) { r.wifiip = "10.1.2.3"; }},
        {"ctrlcodec", "ctrlcodec=2\n", {}, [](auto& r) { r.ctrlcodec = 2; }},
        {"digit field takes one character", "ctrlencode=12\n", {},
         [](auto& r) { r.ctrlencode = 1; }},
        {"digit field takes a letter unchecked", "ctrlencode=x\n", {},
         [](auto& r) { r.ctrlencode = 72; }},
        {"a limit of 2 examines nothing", "ip=1\n", 2, [](auto&) {}},
        {"two characters change nothing", "ip", {}, [](auto&) {}},
        {"end marker stops the scan", "tz=1.2.3.4\nend\nbitrate=5\n", {},
         [](auto& r) { r.tz = "1.2.3.4", r.headerLength = 11; }},
        {"key inside a value", "url=rtmp://h/a?tc=99\n", {},
         [](auto& r) { r.url = "rtmp://h/a?tc=99"; }},
        {"key name ending another name", "rtmpurl=x\nxip=1.1.1.1\ndbg=1\n", {}, [](auto&) {}},
        {"key after blanks or another word", " ip=1\nexport tz=2\n", {}, [](auto&) {}},
        {"the last occurrence wins", "ip=1\nip=2\n", {}, [](auto& r) { r.ip = "2"; }},
        {"only whole key names", "ssXd=abc\nssid=x\n", {}, [](auto& r) { r.ssid = "x"; }},
        {"a key in a value is part of it", "ip=ps=\n", {}, [](auto& r) { r.ip = "ps="; }},
        {"keys must start within the limit", "xxxxip=1\n", 4, [](auto&) {}},
        {"a value may run past the limit", "ip=12345\n", 3, [](auto& r) { r.ip = "12345"; }},
        {"no line end before the text ends", "ip=1.2.3.4", {}, [](auto&) {}},
        {"a zero byte in a key name", std::string("ip\0=1.1.1.1\n", 12), {}, [](auto&) {}},
        {"a zero byte does not end a value", std::string("ip=1\0" "2\nfi=7\0" "9\n", 14), {},
         [](auto& r) { r.ip = "1", r.fi = 7; }},
        {"a quoted 63-byte pass phrase is taken", "psk=\"" + std::string(63, 'p') + "\"\n", {},
         [](auto& r) { r.psk = "\"" + std::string(63, 'p') + "\""; }},
        {"header keys together",
         "ip=1.1.1.1\nnetmask=255.0.0.0\ngateway=1.1.1.254\nexport GW=$gateway\ntz=2.2.2.2\n"
         "tc=5000\nfi=50\nctrlencode=2\nctrlcodec=2\nbitrate=3000000\nframerate=30\n"
         "audiosample=48000\naudiobps=128000\nwidth=1280\nheight=720\nurl=rtmp://x/y\nend\n",
         {},
         [](auto& r) {
             r.ip = "1.1.1.1", r.netmask = "255.0.0.0", r.gateway = "1.1.1.254";
             r.tz = "2.2.2.2", r.tc = 5000, r.fi = 50, r.ctrlencode = 2, r.ctrlcodec = 2;
             r.bitrate = 3000000, r.framerate = 30, r.audiosample = 48000;
             r.audiobps = 128000, r.width = 1280, r.height = 720, r.url = "rtmp://x/y";
             r.headerLength = 216;
         }},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsRecord expected;
        c.expect(expected);
        EXPECT_EQ(describe(scan(c.text, c.limit.value_or(c.text.size()))),
                  describe(expected));
    }
}

// Random texts built from key fragments, scanned with limits beyond their
// end: under the sanitizer build nothing may be read out of bounds, and the
// result must be that of the same text followed by zero bytes.
TEST(Scanner, RandomTextsReadNothingBeyondTheirEnd) {
    sandbox::InProcessRoot root;  // colour keys write the colour file here
    root.captureOutput();
    std::mt19937 rng(20261207);
    const std::string alphabet = "ipdthsakwayoelcrtzfnubg=\r\n0123456789 .-";
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 320, '\0');
        for (char& c : text) c = alphabet[rng() % alphabet.size()];
        std::size_t limit = rng() % 400;
        SettingsRecord bare = scan(text, limit);
        SettingsRecord padded = scan(text + std::string(400, '\0'), limit);
        ASSERT_EQ(describe(bare), describe(padded)) << text;
    }
    root.takeOutput();
}

}  // namespace
