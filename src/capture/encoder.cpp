// Encoder parameters kept in one-value files under /mnt.
#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "platform/fields.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace capture {
namespace {

// Menu of H.264 levels, as level_idc codes.
const char* const kLevelChoices[] = {"50", "42", "41", "40", "32", "31", "30", "22",
                                     "21", "20", "13", "12", "11", "9",  "10"};
constexpr int kLevelChoiceCount = sizeof kLevelChoices / sizeof kLevelChoices[0];

struct Level {
    unsigned code;
    const char* line;
};

const Level kLevels[] = {
    {0, "H264 encode standard: Level 4.0"},  {40, "H264 encode standard: Level 4.0"},
    {9, "H264 encode standard: Level 1.b"},  {10, "H264 encode standard: Level 1.0"},
    {11, "H264 encode standard: Level 1.1"}, {12, "H264 encode standard: Level 1.2"},
    {13, "H264 encode standard: Level 1.3"}, {20, "H264 encode standard: Level 2.0"},
    {21, "H264 encode standard: Level 2.1"}, {22, "H264 encode standard: Level 2.2"},
    {30, "H264 encode standard: Level 3.0"}, {31, "H264 encode standard: Level 3.1"},
    {32, "H264 encode standard: Level 3.2"}, {41, "H264 encode standard: Level 4.1"},
    {42, "H264 encode standard: Level 4.2"}, {50, "H264 encode standard: Level 5.0"},
};

// Accepted maximum delay, in units of 100 ms.
constexpr int kMaxDelayLimit = 300;

// The level file is read as its first two bytes.
constexpr std::size_t kLevelFileBytes = 2;

void printLevelName(unsigned code) {
    if (const char* line = levelLine(code)) std::puts(line);
    std::fputs("\n", stdout);
}

void writeMaxDelayFile() {
    if (!platform::writeFile("/mnt/kovra_maxdelay.ini", settings::pendingLine())) {
        std::fputs("can not open file\n", stdout);
        return;
    }
    platform::shellSync();
    platform::shellSync();
    std::fputs("set ok\n", stdout);
}

// TTL and IDR interval: the text as typed, verbatim. A file that cannot be
// written ends the request.
Flow storeTypedValue(const char* field, const char* reply, const char* path) {
    std::string value;
    if (!readTextField(field, value)) return Flow::Continue;
    std::printf(reply, value.c_str());
    if (!platform::writeFile(path, value)) {
        replyCannotOpen();
        return Flow::EndRequest;
    }
    return Flow::Continue;
}

}  // namespace

const char* levelLine(unsigned code) {
    for (const Level& level : kLevels)
        if (level.code == code) return level.line;
    return nullptr;
}

std::vector<int> levelMenuCodes() {
    std::vector<int> codes;
    for (const char* choice : kLevelChoices) codes.push_back(platform::atoiValue(choice));
    return codes;
}

EncoderFiles readEncoderFiles() {
    EncoderFiles files;
    // The whole first line: a delay typed with leading zeros still reads right.
    std::optional<std::string> delay = platform::readFile("/mnt/kovra_maxdelay.ini", platform::kValueFileMaxBytes);
    files.maxDelay.exists = delay.has_value();
    if (delay) files.maxDelay.value = platform::atoiValue(delay->substr(0, delay->find('\n')));
    files.profile = platform::readFirstByte("/mnt/kovra_encProfileIdc.ini");
    files.quality = platform::readFirstByte("/mnt/kovra_encQuality.ini");
    std::optional<std::string> level = platform::readFile("/mnt/kovra_encLevel.ini", kLevelFileBytes);
    files.level.exists = level.has_value();
    if (level) files.level.value = platform::atoiValue(*level);
    return files;
}

void printEncoderStatus() {
    const EncoderFiles files = readEncoderFiles();
    if (files.maxDelay.value)
        std::printf("H264 Max Delay: %lldms\n", 100LL * *files.maxDelay.value);
    else
        std::fputs("H264 Max Delay: 100ms\n", stdout);

    if (files.profile.value == '1')
        std::fputs("H264 encode select: Main Profile\n", stdout);
    else if (files.profile.value == '2')
        std::fputs("H264 encode select: Baseline Profile\n", stdout);
    else
        std::fputs("H264 encode select: High Profile\n", stdout);

    if (files.quality.value == '1')
        std::fputs("H264 encode select: High Speed Mode\n", stdout);
    else
        std::fputs("H264 encode select: High Quality Mode\n", stdout);

    if (files.level.value) printLevelName(static_cast<unsigned>(*files.level.value));
}

platform::FileValue<int> readTtlFile() { return platform::readFirstInt("/mnt/ttl.ini"); }

platform::FileValue<int> readIdrFile() { return platform::readFirstInt("/mnt/idr.ini"); }

int readTtl() { return readTtlFile().value.value_or(100); }

int readIdrInterval() { return readIdrFile().value.value_or(100); }

Flow cmdProfile(int choice) {
    static const char* const kReplies[] = {
        "H264 encode High Profile select\n",
        "H264 encode Main Profile select\n",
        "H264 encode Baseline Profile select\n",
    };
    std::fputs(kReplies[choice], stdout);
    platform::shellTouch("/mnt/kovra_encProfileIdc.ini");
    echoFlagFile(choice, "/mnt/kovra_encProfileIdc.ini");
    platform::shellSync();
    return Flow::Continue;
}

Flow cmdQualityMode(int choice) {
    std::fputs(choice == 1 ? "H264 encode High speed mode select\n"
                           : "H264 encode High quality mode select\n",
               stdout);
    platform::shellTouch("/mnt/kovra_encQuality.ini");
    echoFlagFile(choice, "/mnt/kovra_encQuality.ini");
    platform::shellSync();
    return Flow::Continue;
}

Flow cmdTtl(int) { return storeTypedValue("ttl", "set ttl:%s\n", "/mnt/ttl.ini"); }

Flow cmdIdrInterval(int) {
    return storeTypedValue("idr", "set idr frame num:%s\n", "/mnt/idr.ini");
}

Flow cmdLevel(int) {
    int index = 0;
    cgiFormSelectSingle("menu_encst", kLevelChoices, kLevelChoiceCount, &index, 0);
    const char* chosen = kLevelChoices[index];
    settings::setPendingLine(std::string(chosen) + "\n");
    if (!platform::writeFile("/mnt/kovra_encLevel.ini", settings::pendingLine())) {
        replyCannotOpen();
        return Flow::EndRequest;
    }
    platform::shellSync();
    platform::shellSync();
    printLevelName(static_cast<unsigned>(platform::atoiValue(chosen)));
    std::puts("set ok");
    return Flow::Continue;
}

Flow cmdMaxDelay(int) {
    std::string text;
    if (!readTextField("cvbr", text)) return Flow::Continue;
    std::printf("set :%s\n", text.c_str());
    int value = platform::atoiValue(text);
    if (value > kMaxDelayLimit || value <= 0) {
        replyRefusal("The value is invalid or out of range.");
        return Flow::Continue;
    }
    std::printf("set H264 Max Delay: %dms\n", value * 100);
    settings::setPendingLine(text + "\n");
    writeMaxDelayFile();
    return Flow::Continue;
}

}  // namespace capture
