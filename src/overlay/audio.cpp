// Audio input choice and the 3.5 mm input volume. The volume lives in the
// sound card's saved mixer state, whose layout for this card puts the
// volume control in the block opened by the 27th "{".
#include <cstdio>
#include <string>

#include "overlay/overlay.h"
#include "platform/platform.h"

namespace overlay {
namespace {

constexpr int kVolumeControlBrace = 27;

// Where the two channel values of the volume control stand in the file:
// [start0, end0) and [start1, end1), each running to its line end.
struct MixerValues {
    std::size_t start0, end0, start1, end1;
};

// The volume control's opening brace, or npos.
std::size_t volumeControl(const std::string& text) {
    int braces = 0;
    for (std::size_t i = text.find('{'); i != std::string::npos; i = text.find('{', i + 1))
        if (++braces == kVolumeControlBrace) return i;
    return std::string::npos;
}

// The first "." directly followed by channel, from pos on.
std::size_t channelLine(const std::string& text, std::size_t pos, char channel) {
    for (std::size_t i = text.find('.', pos); i != std::string::npos && i + 1 < text.size();
         i = text.find('.', i + 1))
        if (text[i + 1] == channel) return i;
    return std::string::npos;
}

// The value of a channel line begins after the channel digit and one
// separator, and runs to the end of the line.
std::optional<MixerValues> locateValues(const std::string& text) {
    std::size_t brace = volumeControl(text);
    if (brace == std::string::npos) return std::nullopt;
    std::size_t dot0 = channelLine(text, brace, '0');
    if (dot0 == std::string::npos) return std::nullopt;
    std::size_t end0 = text.find('\n', dot0);
    if (end0 == std::string::npos || dot0 + 3 > end0) return std::nullopt;
    std::size_t dot1 = channelLine(text, end0, '1');
    if (dot1 == std::string::npos) return std::nullopt;
    std::size_t end1 = text.find('\n', dot1);
    if (end1 == std::string::npos || dot1 + 3 > end1) return std::nullopt;
    return MixerValues{dot0 + 3, end0, dot1 + 3, end1};
}

}  // namespace

void replaceMixerValues(const char* path, const std::string& value) {
    std::optional<std::string> text = platform::readFile(path);
    if (!text) {
        replyCannotOpen();
        return;
    }
    std::optional<MixerValues> at = locateValues(*text);
    if (!at) {
        replyFailed("Can't find volume control");
        return;
    }
    std::string updated = text->substr(0, at->start0) + value +
                          text->substr(at->end0, at->start1 - at->end0) + value +
                          text->substr(at->end1);
    if (!platform::writeFile(path, updated)) replyCannotOpen();
}

platform::FileValue<char> readAudioInputFile() { return platform::readFirstByte("/mnt/ha.ini"); }

platform::FileValue<int> readVolume(const char* path) {
    platform::FileValue<int> read;
    std::optional<std::string> text = platform::readFile(path);
    read.exists = text.has_value();
    if (!text) return read;
    std::size_t brace = volumeControl(*text);
    if (brace == std::string::npos) return read;
    std::size_t dot0 = channelLine(*text, brace, '0');
    if (dot0 == std::string::npos) return read;
    // The whole value, not only its first two digits: 100 reads as 100.
    std::size_t start = dot0 + 3;
    std::size_t end = text->find('\n', dot0);
    std::string value = start < text->size() && (end == std::string::npos || start < end)
                            ? text->substr(start, end == std::string::npos ? end : end - start)
                            : std::string();
    read.value = platform::atoiValue(value);
    return read;
}

void printAudioInputStatus() {
    platform::FileValue<char> flag = readAudioInputFile();
    if (!flag.exists) return;
    if (!flag.value)
        std::fputs("error\n", stdout);
    else if (*flag.value == '1')
        std::fputs(platform::modelFlag() ? "audio in: sdi\n" : "audio in: hdmi\n", stdout);
    else
        std::fputs("audio in: 3.5\n", stdout);
}

void printVolumeStatus(const char* path) {
    platform::FileValue<int> volume = readVolume(path);
    if (volume.value) std::printf("3.5 audio volume+:%d\n", *volume.value);
}

Flow cmdAudioInput(int choice) {
    if (choice == 1)
        std::fputs(platform::modelFlag() ? "select audio in of sdi\n"
                                         : "select audio in of hdmi\n",
                   stdout);
    else
        std::fputs("select audio in of 3.5\n", stdout);
    platform::shellTouch("/mnt/ha.ini");
    echoFlagFile(choice, "/mnt/ha.ini");
    platform::shellSync();
    platform::shellSync();
    return Flow::Continue;
}

Flow cmdVolume(int) {
    std::string value;
    if (!readTextField("volume", value)) return Flow::Continue;
    std::printf("set volume:%s\n", value.c_str());
    replaceMixerValues("/mnt/asound.state", value);
    return Flow::Continue;
}

}  // namespace overlay
