// The command list. Its order is part of the protocol: replies are the
// concatenation of what the acting commands print, in this order, and the
// codec form's template swap must run before the groups that rewrite the
// script it copies.
#include <cstdio>

#include "capture/capture.h"
#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"
#include "network/network.h"
#include "overlay/overlay.h"
#include "platform/platform.h"

namespace {

// Every radio group of every form posts these words for indexes 0, 1, 2.
const char* const kChoiceWords[] = {"male", "female", "amale"};

struct Command {
    const char* submit;
    const char* radio;  // radio group read after the submit test, or nullptr
    int choices;        // how many of kChoiceWords the group offers
    Flow (*run)(int choice);
};

const Command kCommands[] = {
    {"codec_submit", "ctrlau", 2, capture::cmdCaptureMode},
    {"codec_submit", "ctrlax", 2, capture::cmdAutoDetectPolicy},
    {"codec_submit", "ctrlaz", 3, network::cmdTransportStream},
    {"codec_submit", "ifwifi", 2, network::cmdWifiSwitch},
    {"codec_submit", "ctrldz", 2, network::cmdStreamTag},
    {"codec_submit", "ctrlez", 3, network::cmdRtspRtmp},
    {"codec_submit", "ctrlbz", 3, capture::cmdProfile},
    {"codec_submit", "ctrlcz", 2, capture::cmdQualityMode},
    {"codec_submit", "audioin", 2, overlay::cmdAudioInput},
    {"ssid_submit", nullptr, 0, network::cmdSsid},
    {"passkey_submit", nullptr, 0, network::cmdPasskey},
    {"wifi_ip_submit", nullptr, 0, network::cmdWifiIp},
    {"ttl_submit", nullptr, 0, capture::cmdTtl},
    {"name_volume_submit", nullptr, 0, overlay::cmdVolume},
    {"nameidr_submit", nullptr, 0, capture::cmdIdrInterval},
    {"name29_submit", nullptr, 0, capture::cmdSetFormat},
    {"name129_submit", nullptr, 0, capture::cmdSetInputType},
    {"encst_submit", nullptr, 0, capture::cmdLevel},
    {"cvbr_submit", nullptr, 0, capture::cmdMaxDelay},
};

}  // namespace

int cgiMain() {
    cgiHeaderContentType("text/plain");
    platform::probeModelFlag();
    for (const Command& command : kCommands) {
        if (cgiFormSubmitClicked(command.submit) != cgiFormSuccess) continue;
        int choice = 0;
        if (command.radio &&
            cgiFormRadio(command.radio, kChoiceWords, command.choices, &choice, 0) !=
                cgiFormSuccess)
            continue;
        if (command.run(choice) == Flow::EndRequest) break;
    }
    std::fflush(stdout);
    return 0;
}
