// Encoder parameters kept in one-value files under /mnt.
#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "dispatch/cgic.h"
#include "platform/platform.h"

namespace capture {
namespace {

// TTL and IDR interval: the text as typed, verbatim. A file that cannot be
// written ends the request, since later commands may depend on it.
Flow storeTypedValue(const char* field, const char* reply, const char* path) {
    std::string value;
    if (!readTextField(field, value)) return Flow::Continue;
    std::printf(reply, value.c_str());
    if (!platform::writeFile(path, value)) {
        std::puts("Can't open file");
        return Flow::EndRequest;
    }
    return Flow::Continue;
}

}  // namespace

Flow cmdTtl(int) { return storeTypedValue("ttl", "set ttl:%s\n", "/mnt/ttl.ini"); }

Flow cmdIdrInterval(int) {
    return storeTypedValue("idr", "set idr frame num:%s\n", "/mnt/idr.ini");
}

}  // namespace capture
