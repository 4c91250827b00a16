// The capture status block. The input is up to five sections separated by
// 0x1E: /mnt/format.ini, /mnt/mk120.ini, /mnt/qiehuan, /tmp/format.ini and
// /mnt/mk250.ini (the model flag); a missing section is a missing file.
#include <cstdint>
#include <string>

#include "capture/capture.h"
#include "platform/platform.h"
#include "support/fuzz_root.h"

namespace {

const char* const kFiles[] = {"/mnt/format.ini", "/mnt/mk120.ini", "/mnt/qiehuan",
                              "/tmp/format.ini", "/mnt/mk250.ini"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = fuzzing::sections(fuzzing::text(data, size), 5);
    fuzzing::startRequest();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i])
            fuzzing::put(kFiles[i], *parts[i]);
        else
            fuzzing::remove(kFiles[i]);
    }
    platform::probeModelFlag();
    fuzzing::startOutput();
    const int result = capture::printCaptureStatus();
    const std::string reply = fuzzing::output();
    // A file without digits for the mode (byte 0) and the code (byte 2)
    // counts as missing.
    const auto digitAt = [&](std::size_t i) {
        return parts[0] && i < parts[0]->size() && (*parts[0])[i] >= '0' && (*parts[0])[i] <= '9';
    };
    if (!digitAt(0) || !digitAt(2)) {
        FUZZ_CHECK(result == -1 && reply == "error open color config file\r\n");
        return 0;
    }
    FUZZ_CHECK(result == 1);
    FUZZ_CHECK(reply.find("\nRead: ") != std::string::npos);
    const std::string outOfRange = "Set out of range, Please set it again";
    const bool namesFormat = reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "\n\n") == 0;
    const bool refusesFormat =
        reply.size() >= outOfRange.size() &&
        reply.compare(reply.size() - outOfRange.size(), outOfRange.size(), outOfRange) == 0;
    const bool detects = reply.find("Read: detect format") != std::string::npos;
    FUZZ_CHECK(namesFormat || refusesFormat || detects);
    return 0;
}
