// Commands that change the boot-script header, the status query, the codec
// template swap and the reboot button.
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace settings {
namespace {

struct HeaderCommand {
    const char* field;
    const char* message;
    const char* key;
    // How the reply shows the value, where it holds a secret.
    std::string (*shown)(const std::string&) = nullptr;
};

Flow setHeaderValue(const HeaderCommand& command) {
    std::string value;
    if (!readTextField(command.field, value)) return Flow::Continue;
    std::printf(command.message, (command.shown ? command.shown(value) : value).c_str());
    setPendingLine(std::string(command.key) + "=" + value + "\n");
    rewriteBootScript();
    return Flow::Continue;
}

Flow setHeaderLine(const char* line) {
    setPendingLine(line);
    rewriteBootScript();
    return Flow::Continue;
}

}  // namespace

Flow cmdStatus(int) {
    rewriteBootScript();
    return Flow::Continue;
}

Flow cmdTemplate(int choice) {
    const char* templ = choice == 1 ? "/mnt/autorun.sh.h264.mp3.org" : "/mnt/autorun.sh.h264.aac.org";
    std::fputs(choice == 1 ? "h264 and mp3)\n" : "h264 and aac\n", stdout);
    // Each copy replaces its target whole (a cut boot script would not
    // start the encoder). Without the template nothing is copied: the
    // defaults belong to the script they come with.
    if (platform::copyFile(templ, "/mnt/autorun.sh")) {
        const std::optional<std::vector<std::string>> defaults = platform::regularFiles("/mnt/dfc");
        // A default directory that cannot be listed copies nothing: said,
        // like a default that cannot be copied.
        if (!defaults) replyCannotOpen("Can't open file dfc");
        for (const std::string& name : defaults.value_or(std::vector<std::string>{})) {
            const std::string from = "/mnt/dfc/" + name, to = "/mnt/" + name;
            if (!platform::copyFile(from.c_str(), to.c_str()))
                replyCannotOpen(("Can't open file " + name).c_str());
        }
    } else {
        replyCannotOpen();
    }
    platform::shellSync();
    platform::shellSync();
    return Flow::Continue;
}

Flow cmdScaling(int choice) {
    std::fputs(choice == 1 ? "set no video scaling\n" : "set video scaling\n", stdout);
    return setHeaderLine(choice == 1 ? "ctrlcodec=2\n" : "ctrlcodec=1\n");
}

Flow cmdAudioEncoding(int choice) {
    return setHeaderLine(choice == 1 ? "ctrlencode=1\n" : "ctrlencode=2\n");
}

Flow cmdReboot(int) {
    std::fputs("reboot now\n", stdout);
    platform::runShell("reboot");
    return Flow::Continue;
}

Flow cmdScalingWidth(int) {
    return setHeaderValue({"vs_width", "set video scaling width=%s\n", "width"});
}
Flow cmdScalingHeight(int) {
    return setHeaderValue({"vs_height", "set video scaling height=%s\n", "height"});
}
Flow cmdRtmpUrl(int) { return setHeaderValue({"rtmpurl", "set url:%s\n", "url", shownRtmpUrl}); }
Flow cmdAddress(int) { return setHeaderValue({"ip", "set ip:%s\n", "ip"}); }
Flow cmdNetmask(int) { return setHeaderValue({"netmask", "set netmask:%s\n", "netmask"}); }
Flow cmdGateway(int) { return setHeaderValue({"gateway", "set gateway:%s\n", "gateway"}); }
Flow cmdBitrate(int) { return setHeaderValue({"bitrate", "set bitrate:%s\n", "bitrate"}); }
Flow cmdAudioSample(int) {
    return setHeaderValue({"audiosample", "set audiosample:%s\n", "audiosample"});
}
// The audio bit rate shares the video bit rate's message.
Flow cmdAudioBitrate(int) {
    return setHeaderValue({"audiobitrate", "set bitrate:%s\n", "audiobps"});
}
Flow cmdFrameRate(int) {
    return setHeaderValue({"framerate", "set framerate:%s\n", "framerate"});
}
Flow cmdTsAddress(int) { return setHeaderValue({"tz", "set ts receive ip:%s\n", "tz"}); }
Flow cmdTsPort(int) { return setHeaderValue({"tc", "set ts receive port:%s\n", "tc"}); }
Flow cmdIFrameInterval(int) { return setHeaderValue({"fi", "set i frame num:%s\n", "fi"}); }

}  // namespace settings
