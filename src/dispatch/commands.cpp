// The command list. Its order is part of the protocol: replies are the
// concatenation of what the acting commands print, in this order, and the
// codec form's template swap must run before the groups that rewrite the
// script it copies.
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/capture.h"
#include "dispatch/cgic.h"
#include "dispatch/dispatch.h"
#include "network/network.h"
#include "overlay/overlay.h"
#include "platform/audit.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "settings/settings.h"

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
    {"name44_submit", nullptr, 0, settings::cmdStatus},
    {"mg_gx", nullptr, 0, overlay::cmdWindowReport},
    {"mg_a_submit", "mg_a", 2, overlay::cmdMgSwitch},
    {"gx_a_submit", "gx_a", 2, overlay::cmdGxSwitch},
    {"mg_xy", nullptr, 0, overlay::cmdMgPosition},
    {"mg_wh", nullptr, 0, overlay::cmdMgSize},
    {"gx_xy", nullptr, 0, overlay::cmdGxPosition},
    {"gx_wh", nullptr, 0, overlay::cmdGxSize},
    {"vs_width_submit", nullptr, 0, settings::cmdScalingWidth},
    {"vs_height_submit", nullptr, 0, settings::cmdScalingHeight},
    {"codec_submit", "ctrlts", 2, settings::cmdTemplate},
    {"codec_submit", "selvs", 2, settings::cmdScaling},
    {"codec_submit", "ctrlau", 2, capture::cmdCaptureMode},
    {"codec_submit", "ctrlax", 2, capture::cmdAutoDetectPolicy},
    {"codec_submit", "ctrlaz", 3, network::cmdTransportStream},
    {"codec_submit", "ifwifi", 2, network::cmdWifiSwitch},
    {"codec_submit", "ctrldz", 2, network::cmdStreamTag},
    {"codec_submit", "ctrlez", 3, network::cmdRtspRtmp},
    {"codec_submit", "ctrlbz", 3, capture::cmdProfile},
    {"codec_submit", "ctrlcz", 2, capture::cmdQualityMode},
    {"codec_submit", "audioen", 2, settings::cmdAudioEncoding},
    {"codec_submit", "audioin", 2, overlay::cmdAudioInput},
    {"rtmpurl_submit", nullptr, 0, settings::cmdRtmpUrl},
    {"name1_submit", nullptr, 0, settings::cmdAddress},
    {"name2_submit", nullptr, 0, settings::cmdNetmask},
    {"name45_submit", nullptr, 0, settings::cmdGateway},
    {"mac_submit", nullptr, 0, network::cmdMacAddress},
    {"ssid_submit", nullptr, 0, network::cmdSsid},
    {"passkey_submit", nullptr, 0, network::cmdPasskey},
    {"wifi_ip_submit", nullptr, 0, network::cmdWifiIp},
    {"ttl_submit", nullptr, 0, capture::cmdTtl},
    {"name3_submit", nullptr, 0, settings::cmdBitrate},
    {"name_audio_submit", nullptr, 0, settings::cmdAudioSample},
    {"name_volume_submit", nullptr, 0, overlay::cmdVolume},
    {"name_audio2_submit", nullptr, 0, settings::cmdAudioBitrate},
    {"sub_a_submit", "sub_a", 2, overlay::cmdSubtitleSwitch},
    {"sub_z_submit", "sub_z", 2, overlay::cmdSubtitleFont},
    {"sub_submit", nullptr, 0, overlay::cmdSubtitleText},
    {"s_x_submit", nullptr, 0, overlay::cmdSubtitleX},
    {"s_y_submit", nullptr, 0, overlay::cmdSubtitleY},
    {"sub_v", nullptr, 0, overlay::cmdSubtitleReport},
    // The sample rate button acts a second time here, as the forms expect.
    {"name_audio_submit", nullptr, 0, settings::cmdAudioSample},
    {"name4_submit", nullptr, 0, settings::cmdFrameRate},
    {"namez_submit", nullptr, 0, settings::cmdTsAddress},
    {"namec_submit", nullptr, 0, settings::cmdTsPort},
    {"namei_submit", nullptr, 0, settings::cmdIFrameInterval},
    {"nameidr_submit", nullptr, 0, capture::cmdIdrInterval},
    {"namelr_submit", nullptr, 0, capture::cmdColourLr},
    {"namelg_submit", nullptr, 0, capture::cmdColourLg},
    {"namelb_submit", nullptr, 0, capture::cmdColourLb},
    {"namebr_submit", nullptr, 0, capture::cmdColourBr},
    {"namebg_submit", nullptr, 0, capture::cmdColourBg},
    {"namebb_submit", nullptr, 0, capture::cmdColourBb},
    {"name29_submit", nullptr, 0, capture::cmdSetFormat},
    {"name129_submit", nullptr, 0, capture::cmdSetInputType},
    {"encst_submit", nullptr, 0, capture::cmdLevel},
    {"cvbr_submit", nullptr, 0, capture::cmdMaxDelay},
    {"name5_submit", nullptr, 0, settings::cmdReboot},
};

// Reports that only read: they change nothing, so they are not logged.
bool isQuery(const Command& command) {
    return command.run == settings::cmdStatus || command.run == overlay::cmdWindowReport ||
           command.run == overlay::cmdSubtitleReport;
}

// A GET is what a link or an image on any page sends, with the operator's
// login: it may read reports, never change anything.
bool carriesChange() {
    for (const Command& command : kCommands)
        if (!isQuery(command) && cgiFormSubmitClicked(command.submit) == cgiFormSuccess) return true;
    return false;
}

}  // namespace

int commandOrder(const char* submit, const char* radio) {
    int order = 0;
    for (const Command& command : kCommands) {
        ++order;
        if (std::strcmp(command.submit, submit) != 0) continue;
        if ((command.radio == nullptr) != (radio == nullptr)) continue;
        if (radio && std::strcmp(command.radio, radio) != 0) continue;
        return order;
    }
    return 0;
}

std::vector<CommandRun> runCommands(bool stopAtProblem) {
    std::vector<CommandRun> ran;
    bool wrote = false;
    for (const Command& command : kCommands) {
        if (cgiFormSubmitClicked(command.submit) != cgiFormSuccess) continue;
        int choice = 0;
        if (command.radio &&
            cgiFormRadio(command.radio, kChoiceWords, command.choices, &choice, 0) !=
                cgiFormSuccess)
            continue;
        const bool logged = !isQuery(command);
        if (logged) {
            audit::begin(command.submit);
            const std::string word = kChoiceWords[choice];
            if (command.radio) audit::fieldRead(command.radio, &word);
        }
        command::begin();
        const Flow flow = command.run(choice);
        ran.push_back({command.submit, command.radio, command::end()});
        if (logged) audit::end(ran.back().outcome);
        wrote = wrote || (logged && ran.back().outcome.kind != Outcome::Kind::Refused);
        if (flow == Flow::EndRequest) break;
        if (stopAtProblem && ran.back().outcome.kind != Outcome::Kind::Applied) break;
    }
    // A change set notes it once its journal is done.
    if (wrote && !platform::journalOpen()) platform::noteChangeInThisBoot();
    return ran;
}

int cgiMain() {
    if (form::method() == "get" && carriesChange()) {
        form::answer("405 Method Not Allowed", "Allow: POST\r\n", kGetRefusal);
        return 0;
    }
    cgiHeaderContentType("text/plain");
    platform::probeModelFlag();
    // Two requests editing the same small files would lose one's change.
    const platform::Lock lock = platform::lockSettings();
    if (lock == platform::Lock::Unrecovered) {
        std::puts(platform::kUnrecoveredRefusal);
        std::fflush(stdout);
        return 0;
    }
    if (lock == platform::Lock::Busy) {
        std::puts("busy: another request is changing the settings, nothing was done");
        std::fflush(stdout);
        for (const Command& command : kCommands)
            if (!isQuery(command) && cgiFormSubmitClicked(command.submit) == cgiFormSuccess)
                audit::busy(command.submit);
        return 0;
    }
    // Once the list has started it runs to its end, whatever the web server
    // does when the client leaves: a half-applied form is worse than a
    // reply nobody reads.
    platform::SignalHold hold;
    runCommands(false);
    return 0;
}
