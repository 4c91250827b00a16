// replaceField on any overlay window file. The first line is the field
// number, the second the new text, the rest is /mnt/m.ini. The result is
// compared with splitting the file at its spaces, replacing one field and
// joining again: an edit either gives exactly that, shorter than the
// window, or is refused with the file untouched.
#include <cstdint>
#include <string>
#include <vector>

#include "overlay/overlay.h"
#include "support/fuzz_root.h"

namespace {

std::vector<std::string> splitAtSpaces(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t space = text.find(' ', start);
        fields.push_back(text.substr(start, space == std::string::npos ? space : space - start));
        if (space == std::string::npos) return fields;
        start = space + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file = fuzzing::text(data, size);
    const int n = static_cast<int>(fuzzing::number(fuzzing::takeLine(file), -1, 18, 1));
    const std::string value = fuzzing::takeLine(file);

    fuzzing::startRequest();
    fuzzing::put("/mnt/m.ini", file);
    fuzzing::startOutput();
    const overlay::FileStatus status = overlay::replaceField("/mnt/m.ini", value, n);

    std::vector<std::string> fields = splitAtSpaces(file);
    bool possible = n >= 1 && n <= overlay::kMaxIntFields && !value.empty() &&
                    value.find(' ') == std::string::npos &&
                    file.size() < overlay::kWindowFileBytes &&
                    static_cast<std::size_t>(n) <= fields.size();
    std::string expected;
    if (possible) {
        fields[n - 1] = value;
        for (std::size_t i = 0; i < fields.size(); ++i) expected += (i ? " " : "") + fields[i];
        possible = expected.size() < overlay::kWindowFileBytes;
    }
    if (possible) {
        FUZZ_CHECK(status == overlay::FileStatus::Ok);
        FUZZ_CHECK(fuzzing::get("/mnt/m.ini") == expected);
    } else {
        FUZZ_CHECK(status == overlay::FileStatus::OutOfLayout);
        FUZZ_CHECK(fuzzing::get("/mnt/m.ini") == file);
    }
    return 0;
}
