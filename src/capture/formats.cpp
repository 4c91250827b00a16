// Video format catalogue, capture mode, input type and auto-detect policy.
#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "platform/fields.h"
#include "platform/platform.h"

namespace capture {
namespace {

struct Format {
    int code;
    const char* name;
};

const Format kCatalogue[] = {
    {1, "VGA,640x480,60HZ"},       {2, "VGA,640x480,73HZ"},
    {3, "VGA,640x480,75HZ"},       {4, "VGA,640x480,85HZ"},
    {5, "SVGA,800x600,60HZ"},      {6, "SVGA,800x600,72HZ"},
    {7, "SVGA,800x600,75HZ"},      {8, "SVGA,800x600,85HZ"},
    {9, "XGA,1024x768,60HZ"},      {10, "XGA,1024x768,75HZ"},
    {11, "XGA,1024x768,85HZ"},     {12, "WXGA,1280x768,60HZ"},
    {13, "WXGA,1280x768,75HZ"},    {14, "WXGA,1280x768,85HZ"},
    {15, "WXGA,1280x1024,60HZ"},   {16, "WXGA,1280x1024,85HZ"},
    {17, "UXGA,1600x1200,60HZ"},   {18, "1280x800,60HZ"},
    {19, "1440x900,60HZ"},         {20, "1280x960,60HZ"},
    {21, "1440x1050,60HZ"},        {22, "1680x1050,60HZ"},
    {23, "1920x1080,60HZ"},        {24, "1920x1200,60HZ"},
    {25, "1280x720,60HZ"},         {26, "1360x768,60HZ"},
    {27, "1366x768,60HZ"},         {28, "1400x1050,60HZ"},
    {29, "1600x900,60HZ"},         {32, "1080P,60HZ"},
    {33, "1080P,50HZ"},            {34, "1080I,60HZ"},
    {35, "1080I,50HZ"},            {36, "720P,50HZ,PAL"},
    {37, "720P,60HZ,NTSC"},        {38, "SD,525P(720x480),60HZ,NTSC"},
    {39, "SD,625P(720x576),50HZ,PAL"}, {40, "SD,PAL"},
    {41, "SD,NTSC"},
};

// The format menu offers the catalogue codes in ascending order.
const char* const kFormatChoices[] = {
    "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13",
    "14", "15", "16", "17", "18", "19", "20", "21", "22", "23", "24", "25", "26",
    "27", "28", "29", "32", "33", "34", "35", "36", "37", "38", "39", "40", "41",
};
constexpr int kFormatChoiceCount = sizeof kFormatChoices / sizeof kFormatChoices[0];

const char* const kInputChoices[] = {"0", "1", "2", "3", "4"};
constexpr int kInputChoiceCount = sizeof kInputChoices / sizeof kInputChoices[0];

const char* const kInputLines[] = {
    (">>>>>>VGA input(DVI-I\xE8\xBD\xAC" "VGA)"),  // one line, split after the escape
    ">>>>>>DVI-D input(DVI-I)",
    ">>>>>>HDMI input",
    ">>>>>>BNC input",
    ">>>>>>YPbPr input(DVI-I to VGA(VGA to YPbpr) or DVI-I to YPbPr",
};

// The format file is read as its first bytes only: "M C" or "M CC".
constexpr std::size_t kFormatFileBytes = 5;

// Capture state of this request, loaded from the files by the status block.
int g_captureMode = 0;
int g_formatCode = 9;
int g_inputType = 0;

int digitValue(unsigned char byte) { return byte - '0'; }
bool isDigit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

int printFormatLine() {
    std::fputs(g_captureMode != 0 ? "Set format: " : "Format: ", stdout);
    if (const char* name = formatName(g_formatCode)) {
        std::printf("%s\n\n", name);
        return 0;
    }
    std::fputs("Set out of range, Please set it again", stdout);
    return -1;
}

void writeFormatFile() {
    char text[32];
    std::snprintf(text, sizeof text, "%d %d", g_captureMode, g_formatCode);
    if (!platform::writeFile("/mnt/format.ini", text)) {
        replyCannotOpen();
        return;
    }
    platform::shellSync();
    platform::shellSync();
}

void writeInputTypeFile() {
    if (!platform::writeFile("/mnt/mk120.ini", std::to_string(g_inputType))) {
        replyCannotOpen();
        return;
    }
    platform::shellSync();
    platform::shellSync();
}

void printDetectedFormat(const CaptureFiles& files) {
    if (files.detected.value)
        std::printf("detect format:%dx%d\n\n", files.detected.value->first,
                    files.detected.value->second);
}

void printAutoDetectPolicy(const CaptureFiles& files) {
    if (!files.policy.value) return;
    std::puts(*files.policy.value == 1 ? "autodetect: auto reboot" : "autodetect: sdk control");
}

// Two integers as scanf "%d %d" reads them from the start of a file.
platform::FileValue<std::pair<int, int>> readTwoInts(const char* path) {
    platform::FileValue<std::pair<int, int>> read;
    std::optional<std::string> text = platform::readFile(path, platform::kValueFileMaxBytes);
    read.exists = text.has_value();
    std::size_t pos = 0;
    int first = 0, second = 0;
    if (text && platform::scanInt(*text, pos, first) && platform::scanInt(*text, pos, second))
        read.value = std::make_pair(first, second);
    return read;
}

}  // namespace

const char* formatName(int code) {
    for (const Format& f : kCatalogue)
        if (f.code == code) return f.name;
    return nullptr;
}

std::vector<int> formatMenuCodes() {
    std::vector<int> codes;
    for (const char* choice : kFormatChoices) codes.push_back(platform::atoiValue(choice));
    return codes;
}

CaptureFiles readCaptureFiles() {
    CaptureFiles files;
    std::optional<std::string> format = platform::readFile("/mnt/format.ini", kFormatFileBytes);
    files.format.exists = format.has_value();
    if (format) {
        format->resize(kFormatFileBytes, '\0');
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>((*format)[i]); };
        // Without a digit for the mode and the code the file holds no
        // setting; reading one anyway would write back a garbage code.
        if (isDigit(byte(0)) && isDigit(byte(2)))
            files.format.value = std::make_pair(
                digitValue(byte(0)), isDigit(byte(3)) ? 10 * digitValue(byte(2)) + digitValue(byte(3))
                                                      : digitValue(byte(2)));
    }
    std::optional<std::string> inputType = platform::readFile("/mnt/mk120.ini", 1);
    files.inputType.exists = inputType.has_value();
    if (inputType && !inputType->empty())
        files.inputType.value = digitValue(static_cast<unsigned char>((*inputType)[0]));
    files.policy = platform::readFirstInt("/mnt/qiehuan");
    files.detected = readTwoInts("/tmp/format.ini");
    return files;
}

int printCaptureStatus() {
    const CaptureFiles files = readCaptureFiles();
    if (!files.format.value) {
        std::puts("error open color config file\r");
        return -1;
    }
    g_captureMode = files.format.value->first;
    g_formatCode = files.format.value->second;
    std::fputs("\n", stdout);
    if (files.inputType.exists) {
        // An empty file names no input.
        g_inputType = files.inputType.value.value_or(-1);
        if (!platform::modelFlag() && g_inputType >= 0 && g_inputType <= 4)
            std::puts(kInputLines[g_inputType]);
        if (g_captureMode == 1) {
            std::puts("Read: fix format capture");
        } else {
            std::puts("Read: detect format");
            printAutoDetectPolicy(files);
        }
        printFormatLine();
    } else if (g_captureMode == 1) {
        std::puts("Read: fix format capture");
        printFormatLine();
    } else {
        std::puts("Read: detect format");
        printDetectedFormat(files);
    }
    return 1;
}

Flow cmdSetFormat(int) {
    int index = 0;
    cgiFormSelectSingle("menu_set_vga_mode", kFormatChoices, kFormatChoiceCount, &index, 0);
    const char* chosen = kFormatChoices[index];
    std::fputs(chosen, stdout);
    printCaptureStatus();
    g_formatCode = platform::atoiValue(chosen);
    if (printFormatLine() == 0)
        writeFormatFile();
    else
        printCaptureStatus();
    return Flow::Continue;
}

Flow cmdSetInputType(int) {
    int index = 0;
    cgiFormSelectSingle("menu_set_signal_mode", kInputChoices, kInputChoiceCount, &index, 0);
    const char* chosen = kInputChoices[index];
    std::printf("set signal format:%s\n", chosen);
    printCaptureStatus();
    g_inputType = platform::atoiValue(chosen);
    std::printf("set_signal_mode=%d\n", g_inputType);
    writeInputTypeFile();
    std::printf("set vga format=%d ok\n", g_formatCode);
    return Flow::Continue;
}

Flow cmdCaptureMode(int choice) {
    printCaptureStatus();
    if (choice == 1) {
        std::fputs("\nSet: fix format capture\n", stdout);
        g_captureMode = 1;
    } else {
        std::fputs("\nSet: detect capture\n", stdout);
        g_captureMode = 0;
    }
    writeFormatFile();
    return Flow::Continue;
}

Flow cmdAutoDetectPolicy(int choice) {
    printCaptureStatus();
    if (choice == 1) {
        std::fputs("\nSet: sdk control(default)\n", stdout);
        echoFlagFile(0, "/mnt/qiehuan");
    } else {
        std::fputs("\nSet: auto reboot\n", stdout);
        echoFlagFile(1, "/mnt/qiehuan");
    }
    platform::shellSync();
    platform::shellSync();
    return Flow::Continue;
}

}  // namespace capture
