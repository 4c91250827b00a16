// Converts subtitle text both ways with the conversions the subtitle
// commands make, in a program linked exactly like webcfg.cgi and started
// with an empty environment: on the build machine, and under the emulator
// with no target file system at all, so nothing of the system it runs on
// (a converter module, a shared library, locale data) is needed.
// Exit status 0 when every conversion gives the expected bytes.
#include <cstdio>
#include <string>

#include "overlay/overlay.h"

namespace {

std::string hex(const std::string& s) {
    std::string h;
    char b[4];
    for (unsigned char c : s) {
        std::snprintf(b, sizeof b, "%02x", c);
        h += b;
    }
    return h;
}

int failures = 0;

void expect(const char* what, const overlay::Converted& got, const std::string& want, int wantResult) {
    if (got.text == want && got.result == wantResult) return;
    ++failures;
    std::printf("%s: got %s (%d), want %s (%d)\n", what, hex(got.text).c_str(), got.result, hex(want).c_str(),
                wantResult);
}

}  // namespace

int main() {
    // "Chinese subtitle, welcome" in UTF-8 and in GB2312 (EUC-CN).
    const std::string utf8 =
        "\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97\xe5\xb9\x95\xe6\xac\xa2\xe8\xbf\x8e";
    const std::string gb = "\xd6\xd0\xce\xc4\xd7\xd6\xc4\xbb\xbb\xb6\xd3\xad";
    constexpr std::size_t kRoom = 256;
    expect("utf-8 to gb2312", overlay::utf8ToGb2312(utf8, kRoom), gb, 0);
    expect("gb2312 to utf-8", overlay::gb2312ToUtf8(gb, kRoom), utf8, 0);
    // Full-width A and 1, the stored form of ASCII, read back.
    expect("full-width to utf-8", overlay::gb2312ToUtf8("\xa3\xc1\xa3\xb1", kRoom), "\xef\xbc\xa1\xef\xbc\x91", 0);
    // A character GB2312 lacks stops the conversion where it stands.
    expect("no gb2312 form", overlay::utf8ToGb2312("\xe4\xb8\xad\xe2\x82\xac", kRoom), "\xd6\xd0", -1);
    if (failures == 0) std::puts("gb2312 conversions ok");
    return failures == 0 ? 0 : 1;
}
