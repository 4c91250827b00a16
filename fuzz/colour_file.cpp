// The colour file and the colour key application. The first line is a key
// and a value ("bg 12"), the rest is /mnt/color.ini. The file is read into
// the colour record value by value until one does not read as a number,
// the key's value replaced, and the record written back as six numbers.
// The record lives on between runs, as it would between two keys of one
// request, so the expected values carry over too.
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/capture.h"
#include "support/fuzz_root.h"

namespace {

const char* const kKeys[] = {"bb", "bg", "br", "lb", "lg", "lr"};  // in file order
std::array<long, 6> g_record = {128, 0, 0, 0, 0, 0};

long clampInt(long v) { return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : v; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file = fuzzing::text(data, size);
    const std::string control = fuzzing::takeLine(file);
    const std::string key = control.substr(0, control.find(' '));
    const std::string value =
        control.find(' ') == std::string::npos ? "" : control.substr(control.find(' ') + 1);

    fuzzing::startRequest();
    fuzzing::put("/mnt/color.ini", file);
    fuzzing::startOutput();
    capture::applyColourKey(key.c_str(), value, 0);

    int index = -1;
    for (int i = 0; i < 6; ++i)
        if (std::strcmp(key.c_str(), kKeys[i]) == 0) index = i;
    if (index < 0) {
        FUZZ_CHECK(fuzzing::output().empty() && fuzzing::get("/mnt/color.ini") == file);
        return 0;
    }
    const std::string read = file.substr(0, 4096);
    const char* p = read.c_str();
    for (long& field : g_record) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p) break;
        field = clampInt(v);
        p = end;
    }
    g_record[index] = clampInt(std::strtol(value.c_str(), nullptr, 10));
    std::string expected;
    for (long v : g_record) expected += (expected.empty() ? "" : " ") + std::to_string(v);
    FUZZ_CHECK(fuzzing::get("/mnt/color.ini") == expected);
    return 0;
}
