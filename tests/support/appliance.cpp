#include "support/appliance.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace sandbox {

std::string defaultHeader() {
    return "ip=192.168.18.209\nnetmask=255.255.255.0\ngateway=192.168.18.1\n"
           "export GW=$gateway\ntz=192.168.18.122\ntc=1234\nfi=100\nctrlencode=1\n"
           "ctrlcodec=1\nbitrate=2000000\nframerate=25\naudiosample=44100\naudiobps=96000\n"
           "width=1024\nheight=768\nurl=rtmp://192.168.18.7/live/kovra\n";
}

std::string bootScript(const std::string& tailAfterMarker) {
    return defaultHeader() + "end" + tailAfterMarker;
}

std::string mixerState(const std::string& left, const std::string& right) {
    std::string s = "state.Codec {\n";
    // Twelve switches (a control block and a nested comment block each)
    // and one level control: 26 braces.
    for (int i = 1; i <= 12; ++i) {
        s += "\tcontrol." + std::to_string(i) + " {\n\t\tiface MIXER\n\t\tname 'Switch " +
             std::to_string(i) + "'\n\t\tvalue true\n\t\tcomment {\n\t\t\taccess 'read write'\n"
             "\t\t\ttype BOOLEAN\n\t\t\tcount 1\n\t\t}\n\t}\n";
    }
    s += "\tcontrol.13 {\n\t\tiface MIXER\n\t\tname 'Mic Boost'\n\t\tvalue 0\n\t}\n";
    // The 27th brace opens the capture volume.
    s += "\tcontrol.14 {\n\t\tiface MIXER\n\t\tname 'Line Capture Volume'\n\t\tvalue.0 " + left +
         "\n\t\tvalue.1 " + right +
         "\n\t\tcomment {\n\t\t\taccess 'read write'\n\t\t\ttype INTEGER\n\t\t\tcount 2\n"
         "\t\t\trange '0 - 100'\n\t\t}\n\t}\n}\n";
    return s;
}

std::string networkBlock(const std::string& ssid, const std::string& psk) {
    return "network={\nssid=" + ssid + "\npsk=" + psk +
           "\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\npriority=2\n}";
}

std::vector<std::string> refusedByWpaSupplicant(const std::vector<std::string>& blocks) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("webcfg-wpa-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // A block it reads keeps it running: a second each, side by side.
    std::string command = "cd '" + dir.string() + "' && for f in *.conf; do "
                          "timeout 1 unshare -n wpa_supplicant -i lo -D wired -c \"$f\" "
                          ">\"$f.out\" 2>&1 & done; wait";
    for (std::size_t i = 0; i < blocks.size(); ++i)
        std::ofstream(dir / (std::to_string(i) + ".conf"), std::ios::binary) << blocks[i];
    std::vector<std::string> refused;
    if (std::system(command.c_str()) != 0) refused.push_back("could not run wpa_supplicant");
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        std::stringstream said;
        said << std::ifstream(dir / (std::to_string(i) + ".conf.out")).rdbuf();
        if (said.str().find("Successfully initialized") == std::string::npos ||
            said.str().find("Failed to read or parse configuration") != std::string::npos)
            refused.push_back(blocks[i] + "\n--- wpa_supplicant said:\n" + said.str());
    }
    fs::remove_all(dir);
    return refused;
}

void layOutAppliance(Sandbox& box) {
    box.write("/mnt/autorun.sh", bootScript());
    box.write("/mnt/autorun.sh.h264.mp3.org", bootScript("\n# mp3" + kEncoderStart));
    box.write("/mnt/autorun.sh.h264.aac.org", bootScript("\n# aac" + kEncoderStart));
    box.write("/mnt/dfc/color.ini", "128 0 0 0 0 0");
    box.write("/mnt/wifi/ifwifi", "0\n");
    box.write("/mnt/wifi/wpa.conf", networkBlock("\"studio\"", "\"s3cret-pass\""));
    box.write("/mnt/wifi/wifi_ip.conf", "ifconfig wlan0 192.168.0.9\n");
    box.write("/mnt/ttl.ini", "64");
    box.write("/mnt/idr.ini", "50");
    box.write("/mnt/format.ini", "1 9");
    box.write("/mnt/mk120.ini", "2");
    box.write("/mnt/qiehuan", "0\n");
    box.write("/tmp/format.ini", "1920 1080\n");
    box.write("/mnt/kovra_maxdelay.ini", "5\n");
    box.write("/mnt/kovra_encProfileIdc.ini", "1\n");
    box.write("/mnt/kovra_encQuality.ini", "0\n");
    box.write("/mnt/kovra_encLevel.ini", "40\n");
    box.write("/mnt/ts.ini", "0\n");
    box.write("/mnt/httpts.ini", "1\n");
    box.write("/mnt/kovra_rsc.ini", "0 1\n");
    box.write("/mnt/tcp.ini", "1\n");
    box.write("/mnt/rtsp.ini", "1\n");
    box.write("/mnt/rtsporrtmp.ini", "1\n");
    box.write("/mnt/color.ini", "128 0 0 0 0 0");
    box.write("/mnt/ha.ini", "1\n");
    box.write("/mnt/asound.state", mixerState("80", "80"));
}

}  // namespace sandbox
