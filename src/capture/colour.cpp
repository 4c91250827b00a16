// The six colour-adjustment values in /mnt/color.ini, read whole, changed
// one at a time and written back whole.
#include <cstdio>
#include <cstring>
#include <string>

#include "capture/capture.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace capture {
namespace {

ColourValues g_colour;

// Six values of any width fit easily; a larger file is not ours.
constexpr std::size_t kColourFileMaxBytes = 4096;

int* fieldFor(const char* key) {
    if (std::strcmp(key, "bb") == 0) return &g_colour.bb;
    if (std::strcmp(key, "bg") == 0) return &g_colour.bg;
    if (std::strcmp(key, "br") == 0) return &g_colour.br;
    if (std::strcmp(key, "lb") == 0) return &g_colour.lb;
    if (std::strcmp(key, "lg") == 0) return &g_colour.lg;
    if (std::strcmp(key, "lr") == 0) return &g_colour.lr;
    return nullptr;
}

int readColourFile() {
    platform::FileValue<ColourFile> file = readColourValues(g_colour);
    if (!file.exists) {
        std::puts("error open color config file\r");
        return -1;
    }
    std::printf("read color.ini=%s\r\n", file.value->text.c_str());
    g_colour = file.value->values;
    std::puts("read color config file ok\r");
    return 1;
}

void writeColourFile() {
    char text[96];
    std::snprintf(text, sizeof text, "%d %d %d %d %d %d", g_colour.bb, g_colour.bg, g_colour.br,
                  g_colour.lb, g_colour.lg, g_colour.lr);
    if (!platform::writeFile("/mnt/color.ini", text)) {
        replyCannotOpen();
        return;
    }
    platform::shellSync();
    platform::shellSync();
}

}  // namespace

platform::FileValue<ColourFile> readColourValues(const ColourValues& start) {
    platform::FileValue<ColourFile> read;
    std::optional<std::string> text = platform::readFile("/mnt/color.ini", kColourFileMaxBytes);
    read.exists = text.has_value();
    if (!text) return read;
    ColourFile file{*text, start, 0};
    int* fields[] = {&file.values.bb, &file.values.bg, &file.values.br,
                     &file.values.lb, &file.values.lg, &file.values.lr};
    std::size_t pos = 0;
    for (int* field : fields) {
        int value = 0;
        if (!platform::scanInt(*text, pos, value)) break;
        *field = value;
        ++file.found;
    }
    read.value = file;
    return read;
}

void applyColourKey(const char* key, const std::string& value, std::size_t position) {
    int* field = fieldFor(key);
    if (!field) return;
    const bool traced = std::strcmp(key, "bg") == 0;
    if (traced) {
        std::printf("enter bg set+++++++,j=%d,i=%d\n", static_cast<int>(value.size()),
                    static_cast<int>(position));
        std::printf("bgs=%s\n", value.c_str());
    }
    readColourFile();
    if (traced) std::printf("bg=%d\n", g_colour.bg);
    *field = platform::atoiValue(value);
    if (traced) std::printf("bg=%d\n", g_colour.bg);
    writeColourFile();
}

}  // namespace capture

namespace capture {
namespace {

// A colour command stores its value through the scanner: the change line
// is applied by the boot-script rewrite, which meets the colour key.
Flow setColourValue(const char* key) {
    std::string value;
    if (!readTextField(key, value)) return Flow::Continue;
    std::fputs("set ok:", stdout);
    std::fputs(value.c_str(), stdout);
    settings::setPendingLine(std::string(key) + "=" + value + "\n");
    settings::rewriteBootScript();
    return Flow::Continue;
}

}  // namespace

Flow cmdColourLr(int) { return setColourValue("lr"); }
Flow cmdColourLg(int) { return setColourValue("lg"); }
Flow cmdColourLb(int) { return setColourValue("lb"); }
Flow cmdColourBr(int) { return setColourValue("br"); }
Flow cmdColourBg(int) { return setColourValue("bg"); }
Flow cmdColourBb(int) { return setColourValue("bb"); }

}  // namespace capture
