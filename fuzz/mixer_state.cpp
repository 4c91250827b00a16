// The mixer state reader and editor: the volume line of the status report
// and replaceMixerValues. The first line is the volume value, the rest is
// /mnt/asound.state. An edit changes exactly the two channel values of the
// block opened by the 27th "{", located as the file format says, or leaves
// the file alone and says why.
#include <cstdint>
#include <string>

#include "overlay/overlay.h"
#include "support/fuzz_root.h"

namespace {

// The file with both channel values replaced, or nullopt when the volume
// control or one of its two value lines is not there.
std::optional<std::string> expectedEdit(const std::string& file, const std::string& value) {
    std::size_t brace = std::string::npos;
    for (std::size_t i = 0, seen = 0; i < file.size() && brace == std::string::npos; ++i)
        if (file[i] == '{' && ++seen == 27) brace = i;
    if (brace == std::string::npos) return std::nullopt;
    const std::size_t dot0 = file.find(".0", brace);
    if (dot0 == std::string::npos) return std::nullopt;
    const std::size_t end0 = file.find('\n', dot0);
    if (end0 == std::string::npos || end0 < dot0 + 3) return std::nullopt;
    const std::size_t dot1 = file.find(".1", end0);
    if (dot1 == std::string::npos) return std::nullopt;
    const std::size_t end1 = file.find('\n', dot1);
    if (end1 == std::string::npos || end1 < dot1 + 3) return std::nullopt;
    return file.substr(0, dot0 + 3) + value + file.substr(end0, dot1 + 3 - end0) + value +
           file.substr(end1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string file = fuzzing::text(data, size);
    const std::string value = fuzzing::takeLine(file);

    fuzzing::startRequest();
    fuzzing::put("/mnt/asound.state", file);
    fuzzing::startOutput();
    overlay::printVolumeStatus("/mnt/asound.state");
    const std::string line = fuzzing::output();
    const std::string prefix = "3.5 audio volume+:";
    if (!line.empty()) {
        FUZZ_CHECK(line.rfind(prefix, 0) == 0 && line.back() == '\n');
        const std::string number = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        FUZZ_CHECK(number == std::to_string(std::stoll(number)));
    }

    fuzzing::startOutput();
    overlay::replaceMixerValues("/mnt/asound.state", value);
    const std::optional<std::string> expected = expectedEdit(file, value);
    if (expected) {
        FUZZ_CHECK(fuzzing::get("/mnt/asound.state") == *expected);
        FUZZ_CHECK(fuzzing::output().empty());
    } else {
        FUZZ_CHECK(fuzzing::get("/mnt/asound.state") == file);
        FUZZ_CHECK(fuzzing::output() == "Can't find volume control\n");
    }
    return 0;
}
