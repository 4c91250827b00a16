// replaceField on any overlay window file. The first line is the field
// number, the second the new text, the rest is /mnt/m.ini. Fields are the
// runs of characters between runs of spaces, as the report reads them: an
// edit either puts the text in place of field n, every other byte kept and
// the result shorter than the window, or is refused with the file untouched.
#include <cstdint>
#include <string>
#include <vector>

#include "overlay/overlay.h"
#include "support/fuzz_root.h"

namespace {

// Where each field begins and ends, read one character at a time.
std::vector<std::pair<std::size_t, std::size_t>> fieldsOf(const std::string& text) {
    std::vector<std::pair<std::size_t, std::size_t>> fields;
    bool inField = false;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool space = i == text.size() || text[i] == ' ';
        if (!space && !inField) fields.push_back({i, i});
        if (space && inField) fields.back().second = i;
        inField = !space;
    }
    return fields;
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

    const auto fields = fieldsOf(file);
    bool possible = n >= 1 && n <= overlay::kMaxIntFields && !value.empty() &&
                    value.find(' ') == std::string::npos &&
                    file.size() < overlay::kWindowFileBytes &&
                    static_cast<std::size_t>(n) <= fields.size();
    std::string expected;
    if (possible) {
        const auto [begin, end] = fields[n - 1];
        expected = file.substr(0, begin) + value + file.substr(end);
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
