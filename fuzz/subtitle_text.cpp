// The subtitle conversion: the input is the text as typed, stored with
// updateSubtitle and read back by the sub_v report. The stored form is
// double-byte characters only and fits its limit; a text that GB2312 can
// hold reads back as typed, and plain ASCII reads back in full-width form.
#include <iconv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "overlay/overlay.h"
#include "support/fuzz_root.h"

namespace {

// The whole text in GB2312, or nullopt when some character has no GB2312
// form or the text is not UTF-8.
std::optional<std::string> gb2312(const std::string& utf8) {
    iconv_t cd = iconv_open("gb2312", "utf-8");
    FUZZ_CHECK(cd != reinterpret_cast<iconv_t>(-1));
    std::vector<char> in(utf8.begin(), utf8.end());
    std::vector<char> out(2 * utf8.size() + 4);
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r != 0 || inLeft != 0) return std::nullopt;
    return std::string(out.data(), static_cast<std::size_t>(outPtr - out.data()));
}

// GB2312 row 3 holds the full-width forms U+FF01 to U+FF5E, except that
// its dollar is the full-width yen sign and its tilde the full-width macron.
std::string fullWidth(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        unsigned code = c == '$'   ? 0xFFE5
                        : c == '~' ? 0xFFE3
                                   : 0xFF01 + static_cast<unsigned char>(c) - 0x21;
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::enterRoot();
    fuzzing::put("/mnt/zhiti.ini", "0");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string typed = fuzzing::text(data, size);
    fuzzing::startRequest();
    fuzzing::put("/mnt/zk.ini", "1 10 20 ");
    fuzzing::startOutput();
    FUZZ_CHECK(overlay::updateSubtitle(typed, 4) == 0);
    const std::optional<std::string> file = fuzzing::get("/mnt/zk.ini");
    FUZZ_CHECK(file && file->rfind("1 10 20 ", 0) == 0);
    const std::string stored = file->substr(8);
    FUZZ_CHECK(stored.size() <= overlay::kSubtitleStoredBytes && stored.size() % 2 == 0);
    for (char c : stored) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x80);

    fuzzing::startOutput();
    overlay::cmdSubtitleReport(0);
    const std::string report = fuzzing::output();
    const std::size_t at = report.find("subtitle value:");
    FUZZ_CHECK(at != std::string::npos && report.back() == '\n');
    const std::string shown = report.substr(at + 15, report.size() - at - 16);

    const std::optional<std::string> gb = gb2312(typed);
    bool wide = gb.has_value();
    if (gb)
        for (char c : *gb) wide = wide && static_cast<unsigned char>(c) >= 0x80;
    if (wide && gb->size() <= overlay::kSubtitleStoredBytes) {
        FUZZ_CHECK(stored == *gb);
        FUZZ_CHECK(shown == typed);
    }
    bool printable = typed.size() <= overlay::kSubtitleCharacters;
    for (char c : typed) printable = printable && c >= 0x21 && c <= 0x7E;
    if (printable) FUZZ_CHECK(shown == fullWidth(typed));
    return 0;
}
