// Switches of the transport-stream, stream-tag, RTSP and RTMP outputs,
// kept as flag files that the streaming processes read.
#include <cstdio>
#include <string>

#include "network/network.h"
#include "platform/platform.h"
#include "settings/rules.h"
#include "settings/settings.h"

namespace network {
namespace {

constexpr std::size_t kSelectionFileMaxBytes = 4096;

}  // namespace

Flow cmdTransportStream(int choice) {
    static const char* const kReplies[] = {
        "enable ts output, mode: udp\n",
        "disable ts output\n",
        "enable ts output, mode: http\n",
    };
    std::fputs(kReplies[choice], stdout);
    platform::shellTouch("/mnt/ts.ini");
    echoFlagFile(choice == 1 ? 1 : 0, "/mnt/ts.ini");
    echoFlagFile(choice == 2 ? 1 : 0, "/mnt/httpts.ini");
    platform::shellSync();
    if (choice == 1) platform::shellSync();
    return Flow::Continue;
}

Flow cmdStreamTag(int choice) {
    std::fputs(choice == 1 ? "enable stream tag output\n" : "disable stream tag output\n",
               stdout);
    platform::shellTouch("/mnt/tcp.ini");
    echoFlagFile(choice, "/mnt/tcp.ini");
    platform::shellSync();
    return Flow::Continue;
}

Flow cmdRtspRtmp(int choice) {
    static const char* const kReplies[] = {
        "disable rtsp server and rtmp\n",
        "enable rtsp server\n",
        "enable rtmp\n",
    };
    std::fputs(kReplies[choice], stdout);
    platform::shellTouch("/mnt/rtsp.ini");
    echoFlagFile(choice == 0 ? 0 : 1, "/mnt/rtsp.ini");
    platform::shellTouch("/mnt/rtsporrtmp.ini");
    echoFlagFile(choice == 2 ? 1 : 0, "/mnt/rtsporrtmp.ini");
    platform::shellSync();
    return Flow::Continue;
}

OutputFiles readOutputFiles() {
    OutputFiles files;
    files.ts = platform::readFirstByte("/mnt/ts.ini");
    files.httpts = platform::readFirstByte("/mnt/httpts.ini");
    files.tcp = platform::readFirstByte("/mnt/tcp.ini");
    files.rtsp = platform::readFirstByte("/mnt/rtsp.ini");
    files.rtsporrtmp = platform::readFirstByte("/mnt/rtsporrtmp.ini");
    std::optional<std::string> rsc = platform::readFile("/mnt/kovra_rsc.ini", kSelectionFileMaxBytes);
    files.selection.exists = rsc.has_value();
    if (rsc) {
        StreamSelection selection;
        std::size_t pos = 0;
        if (platform::scanInt(*rsc, pos, selection.transportStream)) {
            ++selection.found;
            if (platform::scanInt(*rsc, pos, selection.rtspRtmp)) ++selection.found;
        }
        files.selection.value = selection;
    }
    return files;
}

void printStreamOutputStatus() {
    const OutputFiles files = readOutputFiles();
    if (!files.ts.value) {
        std::fputs("ts output: enable\n", stdout);
    } else if (*files.ts.value == '1') {
        std::fputs("ts output: disable\n", stdout);
    } else {
        std::fputs("ts output: enable, ", stdout);
        std::fputs(files.httpts.value == '1' ? "mode: http \n" : "mode: udp \n", stdout);
    }

    // A selection that cannot be read is the main stream, the default the
    // streaming processes start with.
    const StreamSelection selection = files.selection.value.value_or(StreamSelection{});
    const int tsSelect = selection.transportStream, rtspSelect = selection.rtspRtmp;
    std::fputs(tsSelect ? "ts select:second stream\n" : "ts select:main stream\n", stdout);
    std::fputs(rtspSelect ? "rtsp/rtmp select:second stream\n" : "rtsp/rtmp select:main stream\n",
               stdout);

    std::fputs(files.tcp.value == '1' ? "tcp stream tag output: enable\n"
                                      : "tcp stream tag output: disable\n",
               stdout);

    if (files.rtsp.value != '1') {
        std::fputs("rtsp server and rtmp: disable\n", stdout);
        return;
    }
    if (!files.rtsporrtmp.value) {
        std::fputs("rtsp server and rtmp: disable\n", stdout);
    } else if (*files.rtsporrtmp.value == '0') {
        std::fputs("rtsp server: enable\n", stdout);
    } else if (*files.rtsporrtmp.value == '1') {
        std::fputs("rtmp: enable\n", stdout);
        std::printf("rtmp live url: %s\n", settings::shownRtmpUrl(settings::record().url).c_str());
    }
}

}  // namespace network
