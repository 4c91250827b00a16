// Converts subtitle text both ways with the iconv calls the subtitle
// commands make, in a program linked exactly like webcfg.cgi. A static link
// loads glibc's GB2312 module at run time, so this is what tells us that
// the module is reachable on the machine (or emulated target) it runs on.
// Exit status 0 when every conversion gives the expected bytes.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Result {
    bool opened = false;
    std::size_t status = 0;  // iconv's return value
    int error = 0;           // errno after a failed call
    std::string out;
};

Result convert(const char* to, const char* from, const std::string& text) {
    Result r;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        r.error = errno;
        return r;
    }
    r.opened = true;
    std::string in = text;
    char out[256] = {};
    char* inPtr = in.data();
    char* outPtr = out;
    std::size_t inLeft = in.size();
    std::size_t outLeft = sizeof out;
    r.status = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (r.status == static_cast<std::size_t>(-1)) r.error = errno;
    r.out.assign(out, static_cast<std::size_t>(outPtr - out));
    iconv_close(cd);
    return r;
}

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

void expect(const char* what, const Result& r, const std::string& want, bool wantFailure) {
    bool ok = r.opened && r.out == want &&
              (wantFailure ? r.status == static_cast<std::size_t>(-1) && r.error == EILSEQ
                           : r.status == 0);
    if (ok) return;
    ++failures;
    if (!r.opened)
        std::printf("%s: iconv_open failed: %s\n", what, std::strerror(r.error));
    else
        std::printf("%s: got %s (status %zd, %s), want %s\n", what, hex(r.out).c_str(),
                    static_cast<ssize_t>(r.status), std::strerror(r.error), hex(want).c_str());
}

}  // namespace

int main() {
    // "Chinese subtitle, welcome" in UTF-8 and in GB2312 (EUC-CN).
    const std::string utf8 =
        "\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97\xe5\xb9\x95\xe6\xac\xa2\xe8\xbf\x8e";
    const std::string gb = "\xd6\xd0\xce\xc4\xd7\xd6\xc4\xbb\xbb\xb6\xd3\xad";
    expect("utf-8 to gb2312", convert("gb2312", "utf-8", utf8), gb, false);
    expect("gb2312 to utf-8", convert("utf-8", "gb2312", gb), utf8, false);
    // Full-width A and 1, the stored form of ASCII, read back.
    expect("full-width to utf-8", convert("utf-8", "gb2312", "\xa3\xc1\xa3\xb1"),
           "\xef\xbc\xa1\xef\xbc\x91", false);
    // A character GB2312 lacks stops the conversion where it stands.
    expect("no gb2312 form", convert("gb2312", "utf-8", "\xe4\xb8\xad\xe2\x82\xac"), "\xd6\xd0",
           true);
    if (failures == 0) std::puts("gb2312 conversions ok");
    return failures == 0 ? 0 : 1;
}
