// The device status report, through the status query of the program.
#include <gtest/gtest.h>

#include <map>

#include "support/appliance.h"

namespace {

using sandbox::kHeader;
using sandbox::Sandbox;

const std::string kWifiReport = "wifi: enable\nssid=\"studio\"\nwifi ip=192.168.0.9\n";

const std::string kOutputs =
    "ts output: enable, mode: http \nts select:main stream\nrtsp/rtmp select:second stream\n"
    "tcp stream tag output: enable\nrtmp: enable\nrtmp live url: rtmp://192.168.18.7/live/********\n";

// The report of the fully laid-out appliance, with its Wi-Fi and output
// sections replaceable.
std::string fullReport(const std::string& wifi = kWifiReport,
                       const std::string& outputs = kOutputs,
                       const std::string& audio = "audio in: hdmi\n3.5 audio volume+:80\n") {
    return "\nip=192.168.18.209\nnetmask=255.255.255.0\ngateway=192.168.18.1\n" + wifi +
           "ttl=64\n\nts receive ip=192.168.18.122\nts receive port=1234\n"
           "\n>>>>>>HDMI input\nRead: fix format capture\nSet format: XGA,1024x768,60HZ\n\n"
           "bitrate=2000000\nframerate=25\nI frame num=100,IDR frame num=50\n"
           "H264 Max Delay: 500ms\nH264 encode select: Main Profile\n"
           "H264 encode select: High Quality Mode\nH264 encode standard: Level 4.0\n\n" +
           outputs +
           "enable video sclaing\nvideo sclaing width=1024\nvideo sclaing height=768\n\n"
           "audio enable=1\n" +
           audio + "audio sample=44100\naudio bitrate=96000\n\n";
}

TEST(StatusReport, ShowsEverySectionOfAFullyLaidOutAppliance) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    auto reply = box.post("name44_submit=");
    EXPECT_EQ(reply.out, kHeader + fullReport());
    EXPECT_EQ(box.read("/mnt/autorun.sh"), sandbox::bootScript());
    EXPECT_FALSE(box.exists("/mnt/autorun.sh.swp"));
    EXPECT_EQ(box.read("/mnt/wifi/wpa.conf"), sandbox::networkBlock("\"studio\"", "\"s3cret-pass\""));
    EXPECT_TRUE(box.calls().empty());
}

TEST(StatusReport, ShowsDefaultsOnABareAppliance) {
    Sandbox box;
    box.write("/mnt/autorun.sh", "end\n" + std::string(300, '#') + "\n");
    auto reply = box.post("name44_submit=");
    EXPECT_EQ(reply.out,
              std::string(kHeader) +
                  "\nip=192.168.18.209\nnetmask=255.255.255.0\ngateway=192.168.18.1\n"
                  "ttl=100\n\nts receive ip=192.168.18.122\nts receive port=1234\n"
                  "error open color config file\r\n"
                  "bitrate=2000000\nframerate=25\nI frame num=100,IDR frame num=100\n"
                  "H264 Max Delay: 100ms\nH264 encode select: High Profile\n"
                  "H264 encode select: High Quality Mode\n"
                  "ts output: enable\nts select:main stream\nrtsp/rtmp select:main stream\n"
                  "tcp stream tag output: disable\nrtsp server and rtmp: disable\n"
                  "enable video sclaing\nvideo sclaing width=1024\nvideo sclaing height=768\n\n"
                  "audio enable=1\naudio sample=44100\naudio bitrate=96000\n\n");
}

TEST(StatusReport, MissingBootScriptIsReportedAlone) {
    Sandbox box;
    sandbox::layOutAppliance(box);
    box.remove("/mnt/autorun.sh");
    EXPECT_EQ(box.post("name44_submit=").out, kHeader + std::string("Can't open file autorun.sh\n"));
}

using Files = std::map<std::string, std::optional<std::string>>;

struct SectionCase {
    const char* name;
    Files files;  // nullopt removes the file
    std::string outputs = kOutputs;
    std::string wifi = kWifiReport;
    std::string audio = "audio in: hdmi\n3.5 audio volume+:80\n";
};

TEST(StatusReport, SectionsFollowTheirFiles) {
    const std::string rest =
        "tcp stream tag output: enable\nrtmp: enable\nrtmp live url: rtmp://192.168.18.7/live/********\n";
    const std::string selection = "ts select:main stream\nrtsp/rtmp select:second stream\n";
    const SectionCase cases[] = {
        {"no ts flag ignores the mode", {{"/mnt/ts.ini", std::nullopt}},
         "ts output: enable\n" + selection + rest},
        {"ts disabled", {{"/mnt/ts.ini", "1\n"}}, "ts output: disable\n" + selection + rest},
        {"udp without a mode file", {{"/mnt/httpts.ini", std::nullopt}},
         "ts output: enable, mode: udp \n" + selection + rest},
        {"first byte decides", {{"/mnt/ts.ini", "12\n"}}, "ts output: disable\n" + selection + rest},
        {"selection file missing", {{"/mnt/kovra_rsc.ini", std::nullopt}},
         "ts output: enable, mode: http \nts select:main stream\nrtsp/rtmp select:main stream\n" +
             rest},
        {"selection of one integer", {{"/mnt/kovra_rsc.ini", "-3 x"}},
         "ts output: enable, mode: http \nts select:second stream\nrtsp/rtmp select:main stream\n" +
             rest},
        {"rtsp off", {{"/mnt/rtsp.ini", "0\n"}},
         "ts output: enable, mode: http \n" + selection +
             "tcp stream tag output: enable\nrtsp server and rtmp: disable\n"},
        {"rtsp server", {{"/mnt/rtsporrtmp.ini", "0\n"}, {"/mnt/tcp.ini", "0\n"}},
         "ts output: enable, mode: http \n" + selection +
             "tcp stream tag output: disable\nrtsp server: enable\n"},
        {"rtsp on without a choice file", {{"/mnt/rtsporrtmp.ini", std::nullopt}},
         "ts output: enable, mode: http \n" + selection +
             "tcp stream tag output: enable\nrtsp server and rtmp: disable\n"},
        {"unknown rtsp choice prints nothing", {{"/mnt/rtsporrtmp.ini", "2\n"}},
         "ts output: enable, mode: http \n" + selection + "tcp stream tag output: enable\n"},
        {"wifi flag missing", {{"/mnt/wifi/ifwifi", std::nullopt}}, kOutputs, ""},
        {"wifi flag empty", {{"/mnt/wifi/ifwifi", ""}}, kOutputs, "error\n"},
        {"wifi disabled", {{"/mnt/wifi/ifwifi", "1\n"}}, kOutputs, "wifi: disable\n"},
        {"network block missing", {{"/mnt/wifi/wpa.conf", std::nullopt}}, kOutputs,
         "wifi: enable\nCan't open file\nwifi ip=192.168.0.9\n"},
        // A block without a name shows none, not a made-up default.
        {"network block without keys", {{"/mnt/wifi/wpa.conf", "network={\n}"}}, kOutputs,
         "wifi: enable\nssid=\nwifi ip=192.168.0.9\n"},
        {"network name holding other keys",
         {{"/mnt/wifi/wpa.conf", sandbox::networkBlock("\"my end ip=1\"", "\"pw\"")}}, kOutputs,
         "wifi: enable\nssid=\"my end ip=1\"\nwifi ip=192.168.0.9\n"},
        {"address line missing", {{"/mnt/wifi/wifi_ip.conf", "# nothing\n"}}, kOutputs,
         "wifi: enable\nssid=\"studio\"\nwifi ip=192.168.0.9\n"},
        {"address of 49 characters",
         {{"/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 " + std::string(49, '7') + "\n"}}, kOutputs,
         "wifi: enable\nssid=\"studio\"\nwifi ip=" + std::string(49, '7') + "\n"},
        {"audio input 3.5", {{"/mnt/ha.ini", "2\n"}}, kOutputs, kWifiReport,
         "audio in: 3.5\n3.5 audio volume+:80\n"},
        {"audio input on the SDI model", {{"/mnt/mk250.ini", ""}}, kOutputs, kWifiReport,
         "audio in: sdi\n3.5 audio volume+:80\n"},
        {"audio input empty", {{"/mnt/ha.ini", ""}}, kOutputs, kWifiReport,
         "error\n3.5 audio volume+:80\n"},
        {"volume of 100 reads whole", {{"/mnt/asound.state", sandbox::mixerState("100", "100")}},
         kOutputs, kWifiReport, "audio in: hdmi\n3.5 audio volume+:100\n"},
        {"volume of one digit", {{"/mnt/asound.state", sandbox::mixerState("7", "7")}}, kOutputs,
         kWifiReport, "audio in: hdmi\n3.5 audio volume+:7\n"},
        {"too few braces", {{"/mnt/asound.state", "state.Codec {\n\tvalue.0 5\n}\n"}}, kOutputs,
         kWifiReport, "audio in: hdmi\n"},
        {"mixer state missing", {{"/mnt/asound.state", std::nullopt}, {"/mnt/ha.ini", std::nullopt}},
         kOutputs, kWifiReport, ""},
    };
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        sandbox::layOutAppliance(box);
        // The model flag also hides the input line of the capture block.
        std::string expected = fullReport(c.wifi, c.outputs, c.audio);
        for (const auto& [path, content] : c.files) {
            if (content)
                box.write(path, *content);
            else
                box.remove(path);
            if (path == "/mnt/mk250.ini") {
                std::size_t at = expected.find(">>>>>>HDMI input\n");
                expected.erase(at, std::string(">>>>>>HDMI input\n").size());
            }
        }
        EXPECT_EQ(box.post("name44_submit=").out, kHeader + expected);
    }
}

}  // namespace
