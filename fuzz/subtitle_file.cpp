// The subtitle file reader: the sub_v report and updateSubtitle. The first
// line is the item number and the value ("2 640"), the rest is /mnt/zk.ini.
// A rewrite must carry the items it does not change over exactly as a
// plain "%d %d %d %s" reading of the old file gives them, or refuse and
// leave the file alone.
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "overlay/overlay.h"
#include "support/fuzz_root.h"

namespace {

struct Line {
    long item[3] = {0, 0, 0};
    std::string text;
    bool toEnd = false;  // the text runs to the end of what was read
};

// "%d %d %d %s" over the first 330 bytes as a C string.
Line reference(const std::string& file) {
    std::string buffer = file.substr(0, overlay::kSubtitleFileBytes);
    buffer = buffer.substr(0, buffer.find('\0'));
    const char* p = buffer.c_str();
    Line line;
    for (long& value : line.item) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p) return line;
        value = v;
        p = end;
    }
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    line.text.assign(start, p);
    line.toEnd = *p == '\0';
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    fuzzing::put("/mnt/zhiti.ini", "1");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file = fuzzing::text(data, size);
    std::string control = fuzzing::takeLine(file);
    const int item = static_cast<int>(fuzzing::number(control, -1, 5, 2));
    const std::size_t space = control.find(' ');
    const std::string value = space == std::string::npos ? "" : control.substr(space + 1);

    fuzzing::startRequest();
    fuzzing::put("/mnt/zk.ini", file);
    fuzzing::startOutput();
    overlay::cmdSubtitleReport(0);
    const std::string report = fuzzing::output();
    FUZZ_CHECK(report == "error len" || report.find("\nsubtitle value:") != std::string::npos);

    fuzzing::startOutput();
    const int result = overlay::updateSubtitle(value, item);
    const std::optional<std::string> now = fuzzing::get("/mnt/zk.ini");
    const Line old = reference(file);
    // A text that may go on beyond the bytes read, or that is longer than a
    // stored text can be.
    const bool cut = (file.size() > overlay::kSubtitleFileBytes && old.toEnd) ||
                     old.text.size() > overlay::kSubtitleStoredBytes;
    if (result != 0) {
        // Only a text that cannot be carried over whole stops a rewrite.
        FUZZ_CHECK(cut && item != 4);
        FUZZ_CHECK(now == file);
        FUZZ_CHECK(fuzzing::output() == "error len");
        return 0;
    }
    FUZZ_CHECK(now.has_value() && fuzzing::output().size() >= 7);
    FUZZ_CHECK(fuzzing::output().substr(fuzzing::output().size() - 7) == "set ok\n");
    const Line written = reference(*now);
    for (int i = 0; i < 3; ++i) {
        if (i + 1 == item) continue;
        if (old.item[i] >= INT_MIN && old.item[i] <= INT_MAX)
            FUZZ_CHECK(written.item[i] == old.item[i]);
    }
    if (item != 4) FUZZ_CHECK(!cut && written.text == old.text);
    // One line, no line end, a single space between the items.
    FUZZ_CHECK(now->find('\n') == std::string::npos);
    FUZZ_CHECK(*now == std::to_string(written.item[0]) + " " + std::to_string(written.item[1]) +
                           " " + std::to_string(written.item[2]) + " " + written.text);
    return 0;
}
