// Boot-script rewrites through the settings commands of the program.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "support/appliance.h"

namespace {

using sandbox::Fields;
using sandbox::kHeader;
using sandbox::Sandbox;

// Report of an appliance laid out without Wi-Fi, for the given header.
struct Values {
    std::string ip = "192.168.18.209", netmask = "255.255.255.0", gateway = "192.168.18.1";
    std::string tz = "192.168.18.122";
    int tc = 1234, fi = 100, ctrlencode = 1, bitrate = 2000000, framerate = 25;
    int audiosample = 44100, audiobps = 96000;
};

std::string report(const Values& v = {}, const std::string& scaling =
                                             "enable video sclaing\nvideo sclaing width=1024\n"
                                             "video sclaing height=768\n\n") {
    char text[2048];
    std::snprintf(text, sizeof text,
                  "\nip=%s\nnetmask=%s\ngateway=%s\nttl=64\n\nts receive ip=%s\n"
                  "ts receive port=%d\n\n>>>>>>HDMI input\nRead: fix format capture\n"
                  "Set format: XGA,1024x768,60HZ\n\nbitrate=%d\nframerate=%d\n"
                  "I frame num=%d,IDR frame num=50\nH264 Max Delay: 500ms\n"
                  "H264 encode select: Main Profile\nH264 encode select: High Quality Mode\n"
                  "H264 encode standard: Level 4.0\n\nts output: enable, mode: http \n"
                  "ts select:main stream\nrtsp/rtmp select:second stream\n"
                  "tcp stream tag output: enable\nrtmp: enable\n"
                  "rtmp live url: rtmp://192.168.18.7/live/********\n%saudio enable=%d\n"
                  "audio in: hdmi\n3.5 audio volume+:80\naudio sample=%d\naudio bitrate=%d\n\n",
                  v.ip.c_str(), v.netmask.c_str(), v.gateway.c_str(), v.tz.c_str(), v.tc,
                  v.bitrate, v.framerate, v.fi, scaling.c_str(), v.ctrlencode, v.audiosample,
                  v.audiobps);
    return text;
}

std::string applied(const std::string& line, const Values& v) {
    char text[1024];
    std::snprintf(text, sizeof text,
                  "\nread cmd ok, read len = %d, cmdbuf = %s\nModify:\nip=%s\nnetmask=%s\n"
                  "gateway=%s\nbitrate=%d\nframerate=%d\nts receive ip=%s\nts receive port=%d\n"
                  "I frame num=%d\naudio enable=%d\naudio sample=%d\naudio bitrate=%d\n",
                  static_cast<int>(line.size()), line.c_str(), v.ip.c_str(), v.netmask.c_str(),
                  v.gateway.c_str(), v.bitrate, v.framerate, v.tz.c_str(), v.tc, v.fi,
                  v.ctrlencode, v.audiosample, v.audiobps);
    return text;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

void layOutWithoutWifi(Sandbox& box) {
    sandbox::layOutAppliance(box);
    box.remove("/mnt/wifi/ifwifi");
}

TEST(Rewrite, AddressChangeRewritesTheFirstLine) {
    Sandbox box;
    layOutWithoutWifi(box);
    auto reply = box.post({{"name1_submit", ""}, {"ip", "192.168.18.50"}});
    Values after;
    after.ip = "192.168.18.50";
    EXPECT_EQ(reply.out, kHeader + std::string("set ip:192.168.18.50\n") + report() +
                             applied("ip=192.168.18.50\n", after) + "set ok\n");
    EXPECT_EQ(box.read("/mnt/autorun.sh"),
              replaceAll(sandbox::bootScript(), "ip=192.168.18.209", "ip=192.168.18.50"));
    EXPECT_EQ(box.read("/mnt/autorun.sh.swp"), sandbox::bootScript());
    EXPECT_EQ(box.calls(), std::vector<std::string>(4, "sync"));
}

TEST(Rewrite, WithWifiEnabledTheReportAlreadyShowsTheChange) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    auto reply = box.post({{"name3_submit", ""}, {"bitrate", "4000000"}});
    Values after;
    after.bitrate = 4000000;
    const std::string wifi =
        "wifi: enable\ncurrent:\nssid=\"studio\", psk=\"********\"\nmodify:\n"
        "ssid=\"studio\", psk=\"********\"\nset ok\ncurrent:\nwifi ip=192.168.0.9\nmodify:\n"
        "wifi ip=192.168.0.9\nset ok\n";
    std::string expectedReport = replaceAll(report(after), "gateway=192.168.18.1\nttl",
                                            "gateway=192.168.18.1\n" + wifi + "ttl");
    EXPECT_EQ(reply.out, kHeader + std::string("set bitrate:4000000\n") + expectedReport +
                             applied("bitrate=4000000\n", after) + "set ok\n");
    // Both Wi-Fi files are rewritten with their unchanged values.
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), sandbox::networkBlock("\"studio\"", "\"s3cret-pass\""));
    EXPECT_EQ(box.read("/mnt/wifi/wifi_ip.conf"), "ifconfig wlan0 192.168.0.9\n");
    EXPECT_EQ(box.count("sync"), 8);
}

TEST(Rewrite, LongAddressStoredByOtherMeansSurvivesTheWifiRewrite) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    const std::string address = "fe80::1234:5678:9abc:def0%wlan0";
    box.write("/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 " + address + "\n");
    box.post({{"name3_submit", ""}, {"bitrate", "4000000"}});
    EXPECT_EQ(box.read("/mnt/wifi/wifi_ip.conf"), "ifconfig wlan0 " + address + "\n");
}

TEST(Rewrite, TailIsCarriedOverUnchanged) {
    Sandbox box;
    layOutWithoutWifi(box);
    std::string tail;
    for (int i = 0; tail.size() < 597; ++i) tail += "echo line " + std::to_string(i) + "\n";
    tail.resize(597);
    const std::string old = sandbox::defaultHeader() + "end" + tail;
    ASSERT_EQ(old.size() - sandbox::defaultHeader().size(), 600u);
    box.write("/mnt/autorun.sh", old);
    box.post({{"name3_submit", ""}, {"bitrate", "3500000"}});
    EXPECT_EQ(box.read("/mnt/autorun.sh"),
              replaceAll(sandbox::defaultHeader(), "bitrate=2000000", "bitrate=3500000") + "end" +
                  tail);
    EXPECT_EQ(box.read("/mnt/autorun.sh.swp"), old);
}

TEST(Rewrite, ScriptsOfAnyLengthAreRewrittenWhole) {
    Sandbox box;
    layOutWithoutWifi(box);
    const std::string tail = "\n" + std::string(5000, 'x') + "\n";
    box.write("/mnt/autorun.sh", sandbox::bootScript(tail));
    box.post({{"name4_submit", ""}, {"framerate", "30"}});
    EXPECT_EQ(box.read("/mnt/autorun.sh"),
              replaceAll(sandbox::defaultHeader(), "framerate=25", "framerate=30") + "end" + tail);
}

TEST(Rewrite, MissingKeysAreWrittenWithTheirDefaults) {
    Sandbox box;
    layOutWithoutWifi(box);
    const std::string withoutPort = replaceAll(sandbox::bootScript(), "tc=1234\n", "");
    box.write("/mnt/autorun.sh", "#!/bin/sh\n# settings of the encoder\n" + withoutPort);
    box.post({{"namei_submit", ""}, {"fi", "50"}});
    EXPECT_EQ(box.read("/mnt/autorun.sh"), replaceAll(sandbox::bootScript(), "fi=100", "fi=50"));
}

TEST(Rewrite, ShortScriptIsNeverWritten) {
    Sandbox box;
    layOutWithoutWifi(box);
    const std::string old = sandbox::defaultHeader() + "end\n";
    ASSERT_EQ(old.size(), 261u);
    box.write("/mnt/autorun.sh", old);
    auto reply = box.post({{"name3_submit", ""}, {"bitrate", "3000000"}});
    Values after;
    after.bitrate = 3000000;
    EXPECT_EQ(reply.out, kHeader + std::string("set bitrate:3000000\n") + report() +
                             applied("bitrate=3000000\n", after) +
                             "error: autorun.sh would be cut, nothing changed\n");
    EXPECT_EQ(box.read("/mnt/autorun.sh"), old);
    EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
    EXPECT_TRUE(box.calls().empty());
}

TEST(Rewrite, TwoRewritesInOneRequestBuildOnEachOther) {
    Sandbox box;
    layOutWithoutWifi(box);
    auto reply = box.post({{"name3_submit", ""}, {"bitrate", "3000000"},
                           {"name1_submit", ""}, {"ip", "10.0.0.2"}});
    Values first, second;
    first.ip = second.ip = "10.0.0.2";
    second.bitrate = 3000000;
    EXPECT_EQ(reply.out, kHeader + std::string("set ip:10.0.0.2\n") + report() +
                             applied("ip=10.0.0.2\n", first) + "set ok\nset bitrate:3000000\n" +
                             report(first) + applied("bitrate=3000000\n", second) + "set ok\n");
    const std::string afterFirst = replaceAll(sandbox::bootScript(), "ip=192.168.18.209", "ip=10.0.0.2");
    EXPECT_EQ(box.read("/mnt/autorun.sh.swp"), afterFirst);
    EXPECT_EQ(box.read("/mnt/autorun.sh"),
              replaceAll(afterFirst, "bitrate=2000000", "bitrate=3000000"));
}

TEST(Rewrite, SampleRateButtonActsTwice) {
    Sandbox box;
    layOutWithoutWifi(box);
    auto reply = box.post({{"name_audio_submit", ""}, {"audiosample", "48000"}});
    Values after;
    after.audiosample = 48000;
    const std::string once = "set audiosample:48000\n" + report() +
                             applied("audiosample=48000\n", after) + "set ok\n";
    const std::string twice = "set audiosample:48000\n" + report(after) +
                              applied("audiosample=48000\n", after) + "set ok\n";
    EXPECT_EQ(reply.out, kHeader + once + twice);
    const std::string updated = replaceAll(sandbox::bootScript(), "audiosample=44100", "audiosample=48000");
    EXPECT_EQ(box.read("/mnt/autorun.sh.swp"), updated);
    EXPECT_EQ(box.read("/mnt/autorun.sh"), updated);
}

TEST(Rewrite, StatusQueryAndChangeInOnePost) {
    Sandbox box;
    layOutWithoutWifi(box);
    auto reply = box.post({{"name1_submit", ""}, {"ip", "10.0.0.3"}, {"name44_submit", ""}});
    Values after;
    after.ip = "10.0.0.3";
    EXPECT_EQ(reply.out, kHeader + report() + "set ip:10.0.0.3\n" + report() +
                             applied("ip=10.0.0.3\n", after) + "set ok\n");
}

TEST(Rewrite, ScalingSwitchAndItsReport) {
    Sandbox box;
    layOutWithoutWifi(box);
    auto off = box.post("codec_submit=&selvs=female");
    EXPECT_EQ(off.out, kHeader + std::string("set no video scaling\n") + report() +
                           applied("ctrlcodec=2\n", Values{}) + "set ok\n");
    EXPECT_EQ(box.read("/mnt/autorun.sh"),
              replaceAll(sandbox::bootScript(), "ctrlcodec=1", "ctrlcodec=2"));
    auto status = box.post("name44_submit=");
    EXPECT_EQ(status.out, kHeader + report(Values{}, "disable video sclaing\n\n"));
    EXPECT_EQ(box.post("codec_submit=&audioen=amale").out, kHeader);
}

TEST(Rewrite, TemplateSwapComesBeforeTheOtherCodecGroups) {
    Sandbox box;
    layOutWithoutWifi(box);
    box.write("/mnt/autorun.sh.h264.mp3.org",
              replaceAll(sandbox::bootScript("\n# mp3 encoder" + sandbox::kEncoderStart), "audiobps=96000", "audiobps=128000"));
    box.write("/mnt/dfc/ts.ini", "1\n");
    auto reply = box.post({{"audioen", "male"}, {"selvs", "female"}, {"ctrlts", "female"},
                           {"codec_submit", ""}});
    Values mp3;
    mp3.audiobps = 128000;
    Values encodingOff = mp3;
    encodingOff.ctrlencode = 2;
    // The copied default files take effect at once: the transport stream is off.
    const std::string copied = replaceAll(report(mp3), "ts output: enable, mode: http \n",
                                          "ts output: disable\n");
    const std::string scalingOff = "disable video sclaing\n\n";
    const std::string scalingOn =
        "enable video sclaing\nvideo sclaing width=1024\nvideo sclaing height=768\n\n";
    EXPECT_EQ(reply.out,
              kHeader + std::string("h264 and mp3)\nset no video scaling\n") + copied +
                  applied("ctrlcodec=2\n", mp3) + "set ok\n" +
                  replaceAll(copied, scalingOn, scalingOff) +
                  applied("ctrlencode=2\n", encodingOff) + "set ok\n");
    EXPECT_EQ(box.read("/mnt/autorun.sh"),
              replaceAll(replaceAll(replaceAll(sandbox::bootScript("\n# mp3 encoder" + sandbox::kEncoderStart),
                                               "audiobps=96000", "audiobps=128000"),
                                    "ctrlcodec=1", "ctrlcodec=2"),
                         "ctrlencode=1", "ctrlencode=2"));
    EXPECT_EQ(box.read("/mnt/ts.ini"), "1\n");
}

TEST(Rewrite, AacTemplateIsCopiedWithoutAReport) {
    Sandbox box;
    layOutWithoutWifi(box);
    EXPECT_EQ(box.post("codec_submit=&ctrlts=male").out, kHeader + std::string("h264 and aac\n"));
    EXPECT_EQ(box.read("/mnt/autorun.sh"), sandbox::bootScript("\n# aac" + sandbox::kEncoderStart));
    EXPECT_EQ(box.count("sync"), 2);
    EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
}

// A default directory that cannot be listed is a failure that is said,
// not a swap that copied nothing in silence.
TEST(Rewrite, ADefaultDirectoryThatCannotBeListedIsSaid) {
    Sandbox box;
    layOutWithoutWifi(box);
    std::filesystem::remove_all(box.hostPath("/mnt/dfc"));
    box.write("/mnt/dfc", "not a directory\n");
    EXPECT_EQ(box.post("codec_submit=&ctrlts=male").out,
              kHeader + std::string("h264 and aac\nCan't open file dfc\n"));
    EXPECT_EQ(box.read("/mnt/autorun.sh"), sandbox::bootScript("\n# aac" + sandbox::kEncoderStart));
}

TEST(Rewrite, RebootButtonRunsRebootOnce) {
    Sandbox box;
    EXPECT_EQ(box.post("name5_submit=").out, kHeader + std::string("reboot now\n"));
    EXPECT_EQ(box.calls(), std::vector<std::string>{"reboot"});
}

TEST(Rewrite, ScriptWithoutHeaderEndIsReportedAndLeftAlone) {
    // A header end is an "end" that begins a line within the first 300
    // characters; any other first "end" would let old values follow the new.
    const std::string header = sandbox::defaultHeader();
    const std::string cases[] = {
        std::string(400, '#') + "\nend\n",
        replaceAll(header, "tz=192.168.18.122", "tz=10.20.30.40 # sender") + "end\n",
        "# settings appended below\n" + header + "end\n",
        replaceAll(header, "url=rtmp://192.168.18.7/live/kovra", "url=" + std::string(40, 'x') +
                                                                   "end" + std::string(260, 'x')) +
            "end\n",
    };
    for (const std::string& old : cases) {
        SCOPED_TRACE(old.substr(0, 60));
        Sandbox box;
        sandbox::layOutAppliance(box);
        box.write("/mnt/autorun.sh", old);
        auto query = box.post("name44_submit=");
        auto change = box.post({{"name3_submit", ""}, {"bitrate", "3000000"}});
        std::string queryBody = *sandbox::bodyOf(query);
        EXPECT_EQ(change.out, kHeader + std::string("set bitrate:3000000\n") + queryBody +
                                  "error: autorun.sh has no header end, nothing changed\n");
        EXPECT_EQ(box.read("/mnt/autorun.sh"), old);
        EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
        EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), sandbox::networkBlock("\"studio\"", "\"s3cret-pass\""));
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Rewrite, HeaderValueHoldingTheMarkerIsRefused) {
    // The first "end" stands inside the gateway value: it is no header end,
    // so the change is refused before anything is applied.
    Sandbox box;
    layOutWithoutWifi(box);
    const std::string old =
        replaceAll(sandbox::bootScript(), "gateway=192.168.18.1", "gateway=gw-weekend");
    box.write("/mnt/autorun.sh", old);
    auto reply = box.post({{"name3_submit", ""}, {"bitrate", "3500000"}});
    Values before;
    before.gateway = "gw-weekend";
    EXPECT_EQ(reply.out, kHeader + std::string("set bitrate:3500000\n") + report(before) +
                             "error: autorun.sh has no header end, nothing changed\n");
    EXPECT_EQ(box.read("/mnt/autorun.sh"), old);
    EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
    EXPECT_TRUE(box.calls().empty());
}

TEST(Rewrite, HeaderThatWouldHideTheMarkerIsRefused) {
    // With every other value at its default, a url of 72 characters puts the
    // marker at position 299, the last one any scan examines.
    for (std::size_t length : {72u, 73u}) {
        SCOPED_TRACE(length);
        Sandbox box;
        layOutWithoutWifi(box);
        const std::string url = "rtmp://10.0.0.1/live/" + std::string(length - 21, 'k');
        auto reply = box.post({{"rtmpurl_submit", ""}, {"rtmpurl", url}});
        const std::string& out = reply.out;
        auto endsWith = [&](const std::string& suffix) {
            return out.size() >= suffix.size() &&
                   out.compare(out.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        if (length == 72) {
            EXPECT_TRUE(endsWith("\nset ok\n"));
            EXPECT_EQ(box.read("/mnt/autorun.sh")->find("end"), 299u);
        } else {
            EXPECT_TRUE(endsWith("\naudio bitrate=96000\nerror len"));
            EXPECT_EQ(box.read("/mnt/autorun.sh"), sandbox::bootScript());
            EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
        }
    }
}

TEST(Rewrite, ScriptKeepsItsMode) {
    // A rewrite and a template swap keep the script's mode; a default file
    // new to /mnt gets the mode of its copy in the default directory.
    for (const char* body : {"name2_submit=&netmask=255.255.0.0", "codec_submit=&ctrlts=female"}) {
        SCOPED_TRACE(body);
        Sandbox box;
        layOutWithoutWifi(box);
        box.write("/mnt/dfc/start.sh", "#!/bin/sh\n");
        ASSERT_EQ(0, ::chmod(box.hostPath("/mnt/autorun.sh").c_str(), 0755));
        ASSERT_EQ(0, ::chmod(box.hostPath("/mnt/dfc/start.sh").c_str(), 0700));
        sandbox::Request r;
        r.method = "POST";
        r.contentType = "application/x-www-form-urlencoded";
        r.body = body;
        box.run(r);
        struct stat st {};
        ASSERT_EQ(0, ::stat(box.hostPath("/mnt/autorun.sh").c_str(), &st));
        EXPECT_EQ(st.st_mode & 07777, 0755u);
        if (std::string(body).rfind("name2", 0) == 0) {
            EXPECT_EQ(box.read("/mnt/autorun.sh"),
                      replaceAll(sandbox::bootScript(), "netmask=255.255.255.0", "netmask=255.255.0.0"));
        } else {
            EXPECT_EQ(box.read("/mnt/autorun.sh"), box.read("/mnt/autorun.sh.h264.mp3.org"));
            ASSERT_EQ(0, ::stat(box.hostPath("/mnt/start.sh").c_str(), &st));
            EXPECT_EQ(st.st_mode & 07777, 0700u);
            EXPECT_EQ(box.count("sync"), 2);
        }
    }
}

struct RefusalCase {
    const char* submit;
    const char* field;
    std::string value;
    const char* reply;
};

TEST(Rewrite, UnsafeOrOverlongValuesAreRefused) {
    const RefusalCase cases[] = {
        {"name1_submit", "ip", "1.2.3.4;reboot", "error char"},
        {"name1_submit", "ip", "$(reboot)", "error char"},
        {"name1_submit", "ip", "1.2.3.4 5", "error char"},
        {"name1_submit", "ip", "`id`", "error char"},
        {"name1_submit", "ip", "a|b", "error char"},
        {"name1_submit", "ip", "a&b", "error char"},
        {"name1_submit", "ip", "a'b", "error char"},
        {"name1_submit", "ip", "a\"b", "error char"},
        {"name1_submit", "ip", "a\\b", "error char"},
        {"name1_submit", "ip", "a<b>c", "error char"},
        {"name1_submit", "ip", "a\tb", "error char"},
        {"name1_submit", "ip", "send", "error char"},
        {"name1_submit", "ip", "1234567890123456789012345", "error len"},
        {"name2_submit", "netmask", "255.0.0.0;x", "error char"},
        {"name45_submit", "gateway", "gw=1", "error char"},
        {"namez_submit", "tz", "(x)", "error char"},
        {"rtmpurl_submit", "rtmpurl", "rtmp://h/a?sip=abc", "error char"},
        {"rtmpurl_submit", "rtmpurl", "rtmp://h/weekend", "error char"},
        {"rtmpurl_submit", "rtmpurl", "rtmp://h/" + std::string(242, 'a'), "error len"},
        {"vs_width_submit", "vs_width", "ip=$(reboot)", "error char"},
        {"vs_width_submit", "vs_width", std::string(20, '1'), "error len"},
        {"vs_height_submit", "vs_height", "7=", "error char"},
        {"name3_submit", "bitrate", "1234567890", "error len"},
        {"name_audio2_submit", "audiobitrate", "x=1", "error char"},
        {"name4_submit", "framerate", "1234567890", "error len"},
        {"namec_submit", "tc", "12345678", "error len"},
        {"namei_submit", "fi", "etc=5", "error char"},
        {"namelr_submit", "lr", "ip=x", "error char"},
        {"namelg_submit", "lg", "12345", "error len"},
        {"namelg_submit", "lg", "abc", "error char"},
        {"namebb_submit", "bb", "7x", "error char"},
        {"namebr_submit", "br", "1-2", "error char"},
        {"namelb_submit", "lb", "-", "error value"},
        {"namelr_submit", "lr", "-1000", "error len"},
        // Well-formed values the device cannot use after its next start.
        {"name1_submit", "ip", "999.1.1.1", "error value"},
        {"name1_submit", "ip", "1.2.3", "error value"},
        {"name1_submit", "ip", "010.0.0.1", "error value"},
        {"name1_submit", "ip", "10.0.0.*", "error char"},
        {"name2_submit", "netmask", "down", "error char"},
        {"name45_submit", "gateway", "10.0.0.1#x", "error char"},
        {"namez_submit", "tz", "1.2.3.4.5", "error value"},
        {"name3_submit", "bitrate", "-5", "error char"},
        {"name3_submit", "bitrate", "4000000x", "error char"},
        {"namec_submit", "tc", "0", "error value"},
        {"namec_submit", "tc", "65536", "error value"},
        {"vs_width_submit", "vs_width", "2147483648", "error value"},
        {"vs_height_submit", "vs_height", "0000000000000000720", "set video scaling height="},
        // The ranges the pages state are the device's own.
        {"name4_submit", "framerate", "61", "error value"},
        {"name4_submit", "framerate", "0", "error value"},
        {"vs_width_submit", "vs_width", "4000", "error value"},
        {"vs_height_submit", "vs_height", "15", "error value"},
        {"name_audio_submit", "audiosample", "12345", "error valueerror value"},  // the button acts twice
        {"name_audio2_submit", "audiobitrate", "0", "error value"},
        {"name3_submit", "bitrate", "0", "error value"},
        {"namei_submit", "fi", "10000000", "error len"},
        {"namelr_submit", "lr", "\xEF\xBC\x91", "error char"},
        {"namelb_submit", "lb", "1;", "error char"},
        {"name2_submit", "netmask", "255.0.255.0", "error value"},
        {"rtmpurl_submit", "rtmpurl", "rtmp://h:~/x", "error char"},
        // Neither the TTL nor the IDR interval is stored as typed any more.
        {"ttl_submit", "ttl", "42;reboot", "error char"},
        {"ttl_submit", "ttl", "256", "error value"},
        {"nameidr_submit", "idr", "2147483648", "error value"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(std::string(c.field) + "=" + c.value);
        Sandbox box;
        sandbox::layOutAppliance(box);
        auto reply = box.post({{c.submit, ""}, {c.field, c.value}});
        if (std::string(c.reply).rfind("set ", 0) == 0) {  // accepted: the change went through
            EXPECT_EQ(reply.out.rfind(kHeader + std::string(c.reply), 0), 0u);
            continue;
        }
        EXPECT_EQ(reply.out, kHeader + std::string(c.reply));
        EXPECT_EQ(box.read("/mnt/autorun.sh"), sandbox::bootScript());
        EXPECT_EQ(box.read("/mnt/color.ini"), "128 0 0 0 0 0");
        EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
        EXPECT_TRUE(box.calls().empty());
    }
}

TEST(Rewrite, DecimalValuesMustBeNumbers) {
    Sandbox box;
    layOutWithoutWifi(box);
    auto reply =
        box.post({{"name3_submit", ""}, {"bitrate", "fast"}, {"namec_submit", ""}, {"tc", "80x"}});
    EXPECT_EQ(reply.out, kHeader + std::string("error charerror char"));
    EXPECT_EQ(box.read("/mnt/autorun.sh"), sandbox::bootScript());
}

// Killing the program at random moments of a rewrite or of the template
// swap must leave either the whole old or the whole new script, never a
// mix or a cut, and at most one temporary file, which the next write
// replaces.
TEST(Rewrite, KilledRewriteLeavesOldOrNewScript) {
    // A long tail keeps the program writing long enough for kills to land
    // inside the write.
    const std::string tail = "\n" + std::string(1 << 20, '#') + "\n";
    const std::string old = sandbox::bootScript(tail);
    const struct {
        const char* body;
        std::string updated;
    } cases[] = {
        {"name3_submit=&bitrate=2500000",
         replaceAll(sandbox::defaultHeader(), "bitrate=2000000", "bitrate=2500000") + "end" + tail},
        {"codec_submit=&ctrlts=male", sandbox::bootScript("\n# aac" + tail)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        Sandbox box;
        layOutWithoutWifi(box);
        box.write("/mnt/autorun.sh.h264.aac.org", c.updated);
        sandbox::Request r;
        r.method = "POST";
        r.contentType = "application/x-www-form-urlencoded";
        r.body = c.body;

        box.write("/mnt/autorun.sh", old);
        const auto start = std::chrono::steady_clock::now();
        box.run(r);
        const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start);
        ASSERT_EQ(box.read("/mnt/autorun.sh"), c.updated);

        std::mt19937 rng(7);
        const int rounds = 60;
        int kills = 0, oldSeen = 0, newSeen = 0;
        for (int round = 0; round < rounds; ++round) {
            box.write("/mnt/autorun.sh", old);
            auto delay = std::chrono::microseconds(rng() % (whole.count() + 1));
            auto reply = box.runAndKill(r, delay);
            kills += reply.exitCode == -SIGKILL;
            std::optional<std::string> now = box.read("/mnt/autorun.sh");
            ASSERT_TRUE(now == old || now == c.updated) << "torn script after round " << round;
            (now == old ? oldSeen : newSeen)++;
        }
        std::printf("%s kills: %d of %d runs killed, %d old and %d new scripts, 0 torn\n", c.body,
                    kills, rounds, oldSeen, newSeen);
        EXPECT_GT(kills, 0);
        int temporaries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(box.hostPath("/mnt")))
            temporaries += entry.path().filename().string().rfind(".autorun.sh", 0) == 0;
        EXPECT_LE(temporaries, 1);
        box.run(r);
        EXPECT_FALSE(box.exists("/mnt/.autorun.sh.webcfg-new"));
    }
}

}  // namespace

namespace {

// A header line with a key of the scanner is taken whole: a value the
// device could not write back as the shell reads it now (a comment after
// it, blanks, quotes) makes every change print the report as a query does
// and leave every file as it was; a status query reports as before.
TEST(Rewrite, HeaderLinesThatCannotBeReadBackAreReportedAndLeftAlone) {
    const struct {
        const char* from;
        const char* to;
        const char* key;
        const char* queried;  // a line the status query still prints
    } cases[] = {
        {"ip=192.168.18.209", "ip=192.168.1.60   # studio LAN", "ip", "\nip=192.168.18.209\n"},
        {"bitrate=2000000", "bitrate=4000000   ", "bitrate", "\nbitrate=2000000\n"},
        {"framerate=25", "framerate=\"30\"", "framerate", "\nframerate=0\n"},
        {"tc=1234", "tc=\"5000\"", "tc", "\nts receive port=0\n"},
        {"framerate=25", "framerate=75", "framerate", "\nframerate=75\n"},
        {"audiosample=44100", "audiosample=12345", "audiosample", "\naudio sample=12345\n"},
        {"netmask=255.255.255.0", "netmask=255.0.255.0", "netmask", "\nnetmask=255.0.255.0\n"},
        {"ctrlencode=1", "ctrlencode=12", "ctrlencode", "\naudio enable=1\n"},
        {"export GW=$gateway", "lr=5 # warm", "lr", "\ngateway=192.168.18.1\n"},
    };
    for (const auto& c : cases) {
        for (const Fields& change : {Fields{{"name3_submit", ""}, {"bitrate", "3000000"}},
                                     Fields{{"namelr_submit", ""}, {"lr", "5"}}}) {
            SCOPED_TRACE(std::string(c.to) + " / " + change[0].first);
            Sandbox box;
            sandbox::layOutAppliance(box);
            const std::string old = replaceAll(sandbox::bootScript(), c.from, c.to);
            box.write("/mnt/autorun.sh", old);
            const std::string query = *sandbox::bodyOf(box.post("name44_submit="));
            EXPECT_NE(query.find(c.queried), std::string::npos) << query;
            EXPECT_EQ(query.find("error"), std::string::npos);
            auto reply = box.post(change);
            const std::string own = change[0].first == "name3_submit" ? "set bitrate:3000000\n"
                                                                      : "set ok:5";
            EXPECT_EQ(reply.out, kHeader + own + query + "error: autorun.sh: " + c.key +
                                     " cannot be read, nothing changed\n");
            EXPECT_EQ(box.read("/mnt/autorun.sh"), old);
            EXPECT_EQ(box.read("/mnt/color.ini"), "128 0 0 0 0 0");
            EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
            EXPECT_TRUE(box.calls().empty());
        }
    }
}

// Keys count only as whole names at the start of a line, and only a change
// applies the colour keys a header holds: a status query writes nothing.
TEST(Rewrite, OnlyWholeKeysCountAndAQueryWritesNothing) {
    const struct {
        const char* name;
        std::string extra;   // lines before the header
        Fields request;
        std::string colour;  // the colour file afterwards
        int syncs;
    } cases[] = {
        {"a name ending in a colour key", "dbg=1\nxlr=7\nrtmpurl=x\n",
         {{"name3_submit", ""}, {"bitrate", "3000000"}}, "128 0 0 0 0 0", 4},
        {"a colour key in a status query", "lr=7\n", {{"name44_submit", ""}}, "128 0 0 0 0 0", 0},
        {"a colour key in a change", "lr=7\n", {{"name3_submit", ""}, {"bitrate", "3000000"}},
         "128 0 0 0 0 7", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        layOutWithoutWifi(box);
        box.write("/mnt/autorun.sh", c.extra + sandbox::bootScript());
        auto reply = box.post(c.request);
        EXPECT_EQ(box.read("/mnt/color.ini"), c.colour);
        EXPECT_EQ(box.count("sync"), c.syncs);
        if (c.request[0].first == "name44_submit") {
            EXPECT_EQ(reply.out, kHeader + report());
            EXPECT_EQ(box.read("/mnt/autorun.sh"), c.extra + sandbox::bootScript());
        } else {
            // The other lines of the old header are not carried over.
            EXPECT_EQ(box.read("/mnt/autorun.sh"),
                      replaceAll(sandbox::bootScript(), "bitrate=2000000", "bitrate=3000000"));
        }
    }
}

}  // namespace
