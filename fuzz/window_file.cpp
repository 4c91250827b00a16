// The overlay window file reader and the mg_gx report. The first line is
// the count asked of readIntFields, the rest is /mnt/m.ini. The values read
// are compared with a plain strtok and strtol reading of the same bytes.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "overlay/overlay.h"
#include "support/fuzz_root.h"

namespace {

int atoiClamped(const char* text) {
    long v = std::strtol(text, nullptr, 10);
    return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// The window as a zero-filled C buffer, split at spaces.
overlay::IntFields reference(const std::string& file, int count) {
    overlay::IntFields values{};
    char window[overlay::kWindowFileBytes + 1] = {};
    std::memcpy(window, file.data(), file.size());
    if (count == 1) {
        values[0] = atoiClamped(window);
        return values;
    }
    int i = 0;
    for (char* token = std::strtok(window, " "); token && i < count;
         token = std::strtok(nullptr, " "))
        values[i++] = atoiClamped(token);
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file = fuzzing::text(data, size);
    const int count = static_cast<int>(fuzzing::number(fuzzing::takeLine(file), -1, 18, 10));

    fuzzing::startRequest();
    fuzzing::put("/mnt/m.ini", file);
    fuzzing::startOutput();
    overlay::IntFields values{};
    values.fill(-99);
    const overlay::FileStatus status = overlay::readIntFields("/mnt/m.ini", count, values);
    if (count < 1 || count > overlay::kMaxIntFields || file.size() >= overlay::kWindowFileBytes) {
        FUZZ_CHECK(status == overlay::FileStatus::OutOfLayout);
        FUZZ_CHECK(values == overlay::IntFields{});
    } else {
        FUZZ_CHECK(status == overlay::FileStatus::Ok);
        FUZZ_CHECK(values == reference(file, count));
    }

    overlay::cmdWindowReport(0);
    const std::string reply = fuzzing::output();
    FUZZ_CHECK(file.size() >= overlay::kWindowFileBytes ? reply == "error len"
                                                        : reply.rfind("mg ", 0) == 0);
    FUZZ_CHECK(fuzzing::get("/mnt/m.ini") == file);
    return 0;
}
