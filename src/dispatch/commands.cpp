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
    {"mg_gx", nullptr, 0, overlay::cmdWindowReport},
    {"mg_a_submit", "mg_a", 2, overlay::cmdMgSwitch},
    {"gx_a_submit", "gx_a", 2, overlay::cmdGxSwitch},
    {"mg_xy", nullptr, 0, overlay::cmdMgPosition},
    {"mg_wh", nullptr, 0, overlay::cmdMgSize},
    {"gx_xy", nullptr, 0, overlay::cmdGxPosition},
    {"gx_wh", nullptr, 0, overlay::cmdGxSize},
    {"codec_submit", "ctrlau", 2, capture::cmdCaptureMode},
    {"codec_submit", "ctrlax", 2, capture::cmdAutoDetectPolicy},
    {"mac_submit", nullptr, 0, network::cmdMacAddress},
    {"ttl_submit", nullptr, 0, capture::cmdTtl},
    {"sub_a_submit", "sub_a", 2, overlay::cmdSubtitleSwitch},
    {"sub_z_submit", "sub_z", 2, overlay::cmdSubtitleFont},
    {"sub_submit", nullptr, 0, overlay::cmdSubtitleText},
    {"s_x_submit", nullptr, 0, overlay::cmdSubtitleX},
    {"s_y_submit", nullptr, 0, overlay::cmdSubtitleY},
    {"sub_v", nullptr, 0, overlay::cmdSubtitleReport},
    {"nameidr_submit", nullptr, 0, capture::cmdIdrInterval},
    {"name29_submit", nullptr, 0, capture::cmdSetFormat},
    {"name129_submit", nullptr, 0, capture::cmdSetInputType},
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
